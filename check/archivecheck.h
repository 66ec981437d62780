#pragma once

#include "check/width.h"
#include "narc/entrysource.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QString>

#include <functional>

namespace core {

// What a check of an archive looks for.
struct ArchiveCheck
{
    WidthRule width;                 // lines wider than width.limit, when active
    const Narc *reference = nullptr; // the original the archive was translated from, if given
};

// Takes one finding line; false stops the check (the output failed).
using FindingSink = std::function<bool(const QString &line)>;

struct CheckSummary
{
    qint64 lines = 0;        // lines looked at
    qint64 findings = 0;     // finding lines given
    bool stopped = false;    // the sink asked to stop
    bool readFailed = false; // an entry could not be read: see the sources' failure()
};

// Looks at every line of every section of `narc`, in archive order, and gives one
// finding line (report/lines.h) for each of:
// - a row wider than check.width.limit (see check/width.h);
// - with a reference: an entry only one of the two has, a different section
//   count, a section whose line count differs (its lines are then not compared),
//   and a line whose control escapes (check/escapes.h) differ from the same line
//   of the reference, the breaking escapes left out;
// - an entry or section that cannot be decoded, here or in the reference.
// Nothing is changed. `observer` gets the progress over the entries.
CheckSummary checkArchive(const Narc &narc, const ArchiveCheck &check, const FindingSink &sink, BulkObserver &observer);
// The same over entries read in order, one at a time, the reference's (when not
// null) beside the archive's; check.reference is not looked at. When an entry
// cannot be read the check stops (summary.readFailed).
CheckSummary checkArchive(EntrySource &entries, EntrySource *reference, const ArchiveCheck &check,
                          const FindingSink &sink, BulkObserver &observer);

} // namespace core
