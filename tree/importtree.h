#pragma once

#include "narc/entrysource.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QString>

namespace core {

// Reads the files of an export tree back into sections 0 and 1 of every entry of
// `narc`, in memory. The tree must exist (it is not made here) and its section
// folders must pass checkTreeFolders (no links, not the same directory);
// otherwise the run is refused as a whole with one line and nothing is read.
// The folders are listed once. The file of every section an entry has is read
// (see readEditedText for the rule); a missing, unreadable or undecodable file,
// or a symbolic link, a device or a FIFO in its place, is reported and leaves
// its section as it is, as does a section the composer refuses. The file of a
// section the entry does not have (an empty entry has none), or of an entry the
// archive does not have, is not read; each such file is reported as skipped
// ("Skipping SSSS/EEEE: the entry has no section S", "Skipping SSSS/EEEE: the
// archive has no entry E"), since its text would otherwise be lost without a
// word. The observer is told sectionChanged() before each file; it must not
// change `narc`.
BulkSummary importFromTree(Narc &narc, const QString &chosenPath, BulkObserver &observer);

// The same for entries handed out one at a time (an archive read from its file
// entry by entry): each entry whose text changed is replaced as soon as its
// files are read, so only the changed entries are held. An entry that cannot
// be read ends the run; `entries` then says why.
BulkSummary importFromTree(EditableEntries &entries, const QString &chosenPath, BulkObserver &observer);

} // namespace core
