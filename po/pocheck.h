#pragma once

#include "check/archivecheck.h"
#include "check/width.h"
#include "report/observer.h"

#include <QString>

namespace core {

struct PoCheckSummary
{
    bool refused = true;     // the file could not be read (the reason was reported)
    qint64 translations = 0; // translated messages looked at
    qint64 findings = 0;     // finding lines given
    bool stopped = false;    // the sink asked to stop
};

// Checks the translations of the PO file at `path` ("-": standard input) before
// they are imported, with no archive at hand: the file is read as importFromPo
// reads it, and each translated message that is not fuzzy gives one finding line
// (report/lines.h), in archive order, for each of: a context that names no line,
// what would keep the import from applying it whatever the archive holds (plural
// forms, U+0000, a line break, an escape that does not convert, a line too long,
// a second message for one line), control escapes that differ from its msgid's
// (the breaking escapes of `width` left out), and, when width is active, each
// row wider than its limit. A file the import would refuse is reported to
// `observer` with the reason and gettext's reports.
PoCheckSummary checkPoFile(const QString &path, const WidthRule &width, const FindingSink &sink,
                           BulkObserver &observer);

} // namespace core
