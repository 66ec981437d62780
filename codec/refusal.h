#pragma once

#include <QString>
#include <QtGlobal>

namespace core {

// Why edited text was not stored in a section: what and where, as values.
// report/lines.h puts it in words; the codec builds no log lines.
struct TextRefusal
{
    enum class Kind {
        None,          // nothing refused: the text was stored
        NoSuchSection, // the message file has no such section: nothing changes, nothing to report
        TooFewLines,   // fewer lines than the section has
        TooManyLines,  // `count` lines given for a section of `limit`: a line past them is not empty
        BadEscape,     // `line` holds a backslash that starts no escape; `detail` quotes it
        LineTooLong,   // `line` needs `count` units, more than `limit`
        TooLarge,      // the message file could grow to `count` bytes, more than an entry can hold
        Unreadable,    // the message file cannot be read; `detail` says why
    };

    Kind kind = Kind::None;
    int line = 0; // from 1, as text editors count
    qint64 count = 0;
    qint64 limit = 0;
    QString detail;

    bool refused() const { return kind != Kind::None; }
};

} // namespace core
