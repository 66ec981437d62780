#pragma once

#include "bulk/bulkobserver.h"
#include "narc/narc.h"

#include <QString>

namespace core {

// Reads the files of an export tree back into sections 0 and 1 of every entry of
// `narc`, in memory. Every file is tried; a missing, unreadable or undecodable
// file (UTF-8, or UTF-16/UTF-32 with a byte order mark) is reported and leaves
// its section as it is, as does a section the composer refuses. The observer is
// told sectionChanged() before each file is opened; it must not change `narc`.
BulkSummary importFromTree(Narc &narc, const QString &chosenPath, BulkObserver &observer);

} // namespace core
