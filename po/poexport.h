#pragma once

#include "report/observer.h"
#include "narc/narc.h"

#include <QString>

namespace core {

// Writes a gettext PO template (.pot) to `path` for translators: every line of
// every section of every entry that is not empty becomes one message whose
// msgctxt names the line ("0012/0000/0003": entry, section, line; see
// po/pocontext.h), whose msgid is the line as the editor shows it, escapes
// included, and whose extracted comments say where it is in words and which
// escapes it holds. Empty lines are left out: an empty msgid is gettext's header.
//
// `archivePath` is the archive's file; its name becomes the header's
// Project-Id-Version, and exporting over it is refused. The header has no dates,
// so exporting the same archive twice gives the same bytes. The file at `path` is
// replaced only once the whole template has been written; on failure the report
// says "Failed to export to PO template <path>: <reason>" and a file that was
// there stays as it was. A section that cannot be decoded is reported, counted in
// sectionsUnreadable and left out.
BulkSummary exportToPoTemplate(const Narc &narc, const QString &archivePath, const QString &path,
                               BulkObserver &observer);

} // namespace core
