#pragma once

#include "narc/narc.h"

#include <QString>
#include <QStringList>
#include <QStringView>

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
    // Whether every part not yet given is empty (the rest of the text is only
    // line breaks, or nothing).
    bool restIsEmpty() const;

private:
    QStringView m_text;
    QStringView m_separator;
    qsizetype m_pos = 0;
    bool m_done = false;
};

// All parts of `text` as EditedLines gives them.
QStringList splitEditedText(const QString &text);

struct ComposeResult
{
    enum class Status {
        Replaced,      // `entry` holds the rebuilt entry
        NoSuchSection, // the file has no such section: nothing changes, nothing to report
        TooFewLines,   // `report` holds the "Skipping ..." line
        TooManyLines,  // a part beyond the section's line count is not empty; `report` says so
        BadEscape,     // a line holds a backslash that starts no escape; `report` names it
        Malformed,     // the entry cannot be decoded; `report` says why
        LineTooLong,   // a line needs more than 65535 units; `report` names it
    };
    Status status = Status::NoSuchSection;
    NarcEntry entry; // the new entry when Replaced, else the entry unchanged
    QString report;  // the log line, empty when there is nothing to say
    bool changed() const { return status == Status::Replaced; }
};

// Replaces section `section` of the message file in `entry` with `editedText`,
// keeping each line's key and attribute from the section as stored. The entry is
// rebuilt as its head (offset table and, for section 0, the size field patched),
// the bytes between the offset table and section 0, then every section block in
// order with the replaced one new. `entryIndex` only names the entry in reports.
//
// Text the section cannot hold as typed is refused with one report, the first
// that applies of: fewer lines than the section has; a part beyond them that is
// not empty (empty ones, as a trailing line break leaves, are ignored); the first
// line holding a backslash that starts no escape or needing too many units.
ComposeResult composeEntry(const NarcEntry &entry, const QString &editedText, int entryIndex, int section);

} // namespace core
