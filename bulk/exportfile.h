#pragma once

#include "bulk/bulkobserver.h"
#include "narc/narc.h"

#include <QString>

// Writes every section of every entry, decoded, into the one UTF-8 file at `path`,
// each entry and section behind a "****Entry " header.
BulkSummary exportToFile(const Narc &narc, const QString &path, BulkObserver &observer);
