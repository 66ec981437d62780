#pragma once

#include "codec/linekey.h"
#include "narc/narc.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace core {

struct SectionLineTable;

// What a decode builds besides the keys and attributes.
enum class DecodeForm {
    Lines,    // `lines`: one escaped string per line
    Text,     // `text`: the escaped lines joined with "\n", as the editor shows them
    KeysOnly, // neither: the keys and attributes, and whether the section decodes
};

// One section of a message file, decoded: its escaped lines and, per line, the
// key and line attribute an encode needs to reproduce what it does not show.
struct DecodedSection
{
    QStringList lines; // with DecodeForm::Lines
    QString text;      // with DecodeForm::Text
    QList<quint16> lineKeys;
    QList<quint16> lineAttributes;
    // Empty unless the section exists but cannot be decoded (offsets, lengths or
    // counts that point outside the entry or make no sense); then no lines, no
    // text, no keys and no attributes.
    QString reason;
    // True when the file has this section and it decoded (possibly to no lines).
    bool present = false;

    // Whether nothing went wrong: the section decoded, or the file does not have it.
    bool ok() const { return reason.isEmpty(); }
};

// Decodes section `section` of the message file in `entry`. A negative section,
// or one the file does not have, gives no lines and no reason.
DecodedSection decodeMessageSection(EntryView entry, int section, DecodeForm form = DecodeForm::Lines);

// What appendSectionUtf8 found, as DecodedSection says it.
struct SectionRead
{
    QString reason;       // why the section that exists cannot be decoded
    bool present = false; // the file has this section and it decoded
    bool ok() const { return reason.isEmpty(); }
};

// Appends the text of section `section` of the message file in `entry` to `out`
// as UTF-8: byte for byte what decodeMessageSection gives with DecodeForm::Text,
// converted to UTF-8, but written straight from the stored units, each unit's
// bytes (or its escape) taken from one table (codec/utf8text.h), with no UTF-16
// text in between. Nothing is appended for a section the file does not have or
// that cannot be decoded.
SectionRead appendSectionUtf8(QByteArray &out, EntryView entry, int section);

// Whether a line of section `section` of the message file in `entry` stores the
// plain units `units` (count >= 1, none 0xFFFF) one after another, found without
// decoding: the stored units are compared with the scrambled forms of `units`.
// A section that appendSectionUtf8 could not decode gives its reason whenever
// the units are not found before the fault; one the file does not have gives
// false and no reason.
SectionRead sectionStoresUnits(EntryView entry, int section, const char16_t *units, int count, bool *stores);

// The plain units of line `i` of a section (its line table read by
// readSectionLineTable), unscrambled into `plain`, which has room for
// table.longest units; returns how many there are, without the terminator and
// the padding unit. What every decoded form shows, escaped: two lines show the
// same text exactly when they have the same plain units.
int plainLineUnits(const SectionLineTable &table, int i, quint16 *plain);

} // namespace core
