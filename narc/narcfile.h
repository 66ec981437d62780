#pragma once

#include "narc/narcreader.h"

#include <QString>

namespace core {

// Loads the archive stored in the file at `path`. A file that cannot be opened or
// read is refused like a malformed one, with a short reason; so is anything but a
// regular file (a device, a FIFO: never read endlessly, never waited on).
NarcRead loadNarcFile(const QString &path);

// The same, one entry at a time (see readNarcEntries): returns the reason the
// file was refused, empty on success.
QString loadNarcFileEntries(const QString &path, const EntryVisitor &visit);

// Writes `narc` to `path` atomically: the bytes go to a temporary file beside the
// target, which replaces it only once every byte was written. An existing device
// or FIFO is written into instead (see openWholeFile). An archive too large for
// the format is refused before anything is opened. On failure the target is
// untouched, `*error` (when given) says why, and false is returned.
bool saveNarcFile(Narc &narc, const QString &path, QString *error = nullptr);

} // namespace core
