#pragma once

#include "io/fileidentity.h"
#include "narc/entrysource.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QString>

namespace core {

// Writes a gettext PO template (.pot) to `path` for translators: every line of
// every section of every entry that is not empty becomes one message whose
// msgctxt names the line ("0012/0000/0003": entry, section, line; see
// po/pocontext.h), whose msgid is the line as the editor shows it, escapes
// included, and whose extracted comments say where it is in words and which
// escapes it holds. Empty lines are left out: an empty msgid is gettext's header.
// The text is written directly (see po/powriter.h), lines not wrapped.
//
// `archivePath` is the archive's file; its name becomes the header's
// Project-Id-Version. A `path` that is `archive` by any name is refused ("it is
// the archive being edited"; the run is refused). The header has no dates,
// so exporting the same archive twice gives the same bytes. `path` "-" is
// standard output; a device or FIFO is written into (/dev/stdout, /dev/null); any
// other file is replaced only once the whole template has been written (see
// openWholeFile). On failure the report says "Failed to export to PO template
// <path>: <reason>", with the system's reason, and a file that was there stays
// as it was. A section that cannot be decoded is reported, counted in
// sectionsUnreadable and left out.
//
// The entries are read twice, in order, one at a time (the first pass finds the
// widths of the contexts). When one cannot be read the template is discarded as
// above and the run is refused without a line: `entries`' failure() says why.
BulkSummary exportToPoTemplate(EntrySource &entries, const QString &archivePath, const QString &path,
                               const FileIdentity &archive, BulkObserver &observer);
BulkSummary exportToPoTemplate(const Narc &narc, const QString &archivePath, const QString &path,
                               const FileIdentity &archive, BulkObserver &observer);

} // namespace core
