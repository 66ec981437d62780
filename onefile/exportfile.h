#pragma once

#include "io/fileidentity.h"
#include "narc/entrysource.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QString>

namespace core {

// Writes every section of every entry, decoded, into the one UTF-8 file at `path`,
// each entry and section behind a "****Entry " header. An existing file is
// replaced only once the whole export has been written, never written in place;
// an existing device or FIFO is written into (see openWholeFile). If anything
// fails, the report says "Failed to export to file <path>: <reason>", the run
// does not finish, and a file that was there stays as it was. A section that
// cannot be decoded is reported, counted in sectionsUnreadable and shown empty.
// `path` "-" is standard output, written into as the export goes. A `path`
// that is `archive` by any name is refused before anything is written ("Failed
// to export to file <path>: it is the archive being edited"; the run is refused).
//
// The entries are read once, in order, one at a time. When one cannot be read
// the export stops, its output is discarded as above and the run is refused
// (summary.refused) without a line: `entries`' failure() says why.
BulkSummary exportToFile(EntrySource &entries, const QString &path, const FileIdentity &archive,
                         BulkObserver &observer);
BulkSummary exportToFile(const Narc &narc, const QString &path, const FileIdentity &archive, BulkObserver &observer);

} // namespace core
