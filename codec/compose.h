#pragma once

#include "narc/narc.h"

#include <QString>
#include <QStringList>

namespace core {

// Splits edited text into lines: on "\r\n" when it holds one, else on "\r" when
// it holds one, else on "\n". Empty parts are kept.
QStringList splitEditedText(const QString &text);

struct ComposeResult
{
    enum class Status {
        Replaced,      // `entry` holds the rebuilt entry
        NoSuchSection, // the file has no such section: nothing changes, nothing to report
        TooFewLines,   // `report` holds the "Skipping ..." line
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
ComposeResult composeEntry(const NarcEntry &entry, const QString &editedText, int entryIndex, int section);

} // namespace core
