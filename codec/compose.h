#pragma once

#include "codec/encode.h"
#include "codec/refusal.h"
#include "narc/narc.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace core {

// Edited text as lines: split on "\r\n" when it holds one, else on "\r" when it
// holds one, else on "\n". Empty parts are kept. The lines are views into the
// text, found one by one; nothing is copied.
class EditedLines
{
public:
    explicit EditedLines(QStringView text);

    // The next line; false when every part has been given.
    bool next(QStringView *line);
    // The next line, added to `writer` (SectionBlockWriter::addLine) as it is
    // found: one pass over its text. False when every part has been given.
    bool addNext(SectionBlockWriter &writer, LineKey key, quint16 attribute);
    // Whether every part not yet given is empty (the rest of the text is only
    // line breaks, or nothing).
    bool restIsEmpty() const;
    // How many parts not yet given there are, up to the last that is not empty.
    qsizetype linesLeft() const;

private:
    QStringView m_text;
    QStringView m_separator;
    qsizetype m_pos = 0;
    bool m_done = false;
};

// What composing did: the entry as rebuilt, or the entry unchanged and why.
struct ComposeResult
{
    NarcEntry entry;    // the new entry when stored, else the entry unchanged
    TextRefusal reason; // Kind::None when stored
    bool changed() const { return !reason.refused(); }
};

// Replaces section `section` of the message file in `entry` with `editedText`,
// keeping each line's key and attribute from the section as stored. The entry is
// rebuilt as its head (offset table and, for section 0, the size field patched),
// the bytes between the offset table and section 0, then every section block in
// order with the replaced one new.
//
// Text the section cannot hold as typed is refused, with the first reason that
// applies of: fewer lines than the section has; a part beyond them that is not
// empty (empty ones, as a trailing line break leaves, are ignored); the first line
// holding a backslash that starts no escape or needing too many units. A section
// the file does not have (or a negative one) changes nothing (NoSuchSection).
ComposeResult composeEntry(const NarcEntry &entry, const QString &editedText, int section);

// composeEntry for text given as UTF-8 bytes (without a byte-order mark), for
// bulk imports that read files as bytes: the entry composeEntry stores, parsed
// straight from the bytes. Nothing when the bytes are not valid UTF-8 text
// without U+0000 (and without U+FEFF or noncharacters) or the text is refused:
// composeEntry on the text as readEditedText decodes it then says what happens.
std::optional<NarcEntry> composeEntryUtf8(EntryView entry, QByteArrayView utf8, int section);

} // namespace core
