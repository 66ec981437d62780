#pragma once

#include "report/observer.h"
#include "narc/narc.h"

#include <QString>

namespace core {

// Writes one UTF-8 file per entry and section into root/0000 and root/0001, which
// must exist (no directory is created). `root` is the path as chosen; treeRoot()
// is applied here. A section with empty text gets no file, and an existing file
// of its name is emptied; the file of a section the entry does not have is left
// alone. A file that cannot be written is reported with the reason and the
// export goes on; so is a symbolic link, device or FIFO in a file's place, which
// is never written through. A section that cannot be decoded is reported and its
// file left as it is.
BulkSummary exportToTree(const Narc &narc, const QString &chosenPath, BulkObserver &observer);

} // namespace core
