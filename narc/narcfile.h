#pragma once

#include "base/result.h"
#include "io/savefile.h"
#include "narc/narcreader.h"

#include <QString>

class QFile;

namespace core {

// Loads the archive stored in the file at `path`. A file that cannot be opened or
// read is refused like a malformed one, with a short reason; so is anything but a
// regular file (a device, a FIFO: never read endlessly, never waited on).
Result<Narc> loadNarcFile(const QString &path);

// Opens the archive file at `path` for reading into `file`, as loadNarcFile
// does: only a regular file, without blocking ("cannot open the file (REASON)").
Status openNarcFile(QFile &file, const QString &path);

// Loads the archive from `file`, opened by openNarcFile (and perhaps locked since),
// from its start.
Result<Narc> loadNarcFile(QFile &file);

// The same, one entry at a time (see readNarcEntries).
Status loadNarcFileEntries(const QString &path, const EntryVisitor &visit);

// Writes `narc` to `path` atomically: the bytes go to a temporary file beside the
// target, which replaces it only once every byte was written. An existing device
// or FIFO is written into instead (see openWholeFile). An archive too large for
// the format is refused before anything is opened. On failure the target is
// untouched. `options` say what the replacement keeps and checks last.
//
// This is the plain write. The archive a user edits is written back through
// document/archivedocument.h, which adds the rules that protect it.
Status saveNarcFile(Narc &narc, const QString &path, const ReplaceOptions &options = {});

// The same for an archive held elsewhere, entry by entry: the head and tables
// of `head`, the entries `entries` hands out, whose lengths `lengthOf` gives
// (see Narc::writeTo). An entry that cannot be read abandons the write.
Status saveNarcFile(Narc &head, EntrySource &entries, const std::function<qint64(qsizetype)> &lengthOf,
                    const QString &path, const ReplaceOptions &options = {});

} // namespace core
