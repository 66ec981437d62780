#pragma once

// How a PO file names the line a message comes from. The export writes it, the
// import reads it back; translation tools carry it along untouched.
//
// msgctxt "EEEE/SSSS/LLLL": entry, section and line, each zero padded to the
// same width throughout one file (four digits, more when an archive needs them),
// so that every message is unique and the messages sort in archive order.
// Entries and sections count from 0, as the editor's lists do; lines count from 1,
// as the composer's reports do ("line 3" is the third line of its section).

#include <QString>

#include <optional>

namespace core {

namespace po {

struct PoPlace
{
    int entry = 0;
    int section = 0;
    int line = 0; // from 1
};

inline bool operator<(const PoPlace &a, const PoPlace &b)
{
    if (a.entry != b.entry)
        return a.entry < b.entry;
    if (a.section != b.section)
        return a.section < b.section;
    return a.line < b.line;
}

// Digits per field of one file's contexts.
struct PoContextWidths
{
    int entry = 4;
    int section = 4;
    int line = 4;
};

// The width that holds every number up to `largest`: at least four digits.
int contextWidth(qint64 largest);

QString poContext(const PoPlace &place, const PoContextWidths &widths);

// The place a context names: three fields of 1 to 9 decimal digits separated by
// "/", whatever their padding. Nothing for anything else.
std::optional<PoPlace> parsePoContext(const QString &context);

// "Hiragana" (section 0), "Kanji" (1), "section 2", ...
QString sectionName(int section);

// The place in words, for translators: "entry 12, Hiragana, line 3".
QString placeInWords(const PoPlace &place);

} // namespace po

} // namespace core
