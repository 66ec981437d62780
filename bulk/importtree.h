#pragma once

#include "bulk/bulkobserver.h"
#include "narc/narc.h"

#include <QString>

// Reads the files of an export tree back into the sections of `narc`, in memory.
BulkSummary importFromTree(Narc &narc, const QString &chosenPath, BulkObserver &observer);
