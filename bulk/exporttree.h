#pragma once

#include "bulk/bulkobserver.h"
#include "narc/narc.h"

#include <QString>

// The root as the tree operations use it: the chosen path with "/" appended when
// it does not already end in one.
QString treeRoot(const QString &chosenPath);

// The path of the text file of (entry, section) below `root` (as treeRoot gives it).
QString treeFilePath(const QString &root, int entryIndex, int section);

// Writes one UTF-8 file per entry and section into root/0000 and root/0001, which
// must exist. `root` is the path as chosen; treeRoot() is applied here.
BulkSummary exportToTree(const Narc &narc, const QString &chosenPath, BulkObserver &observer);
