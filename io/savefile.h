#pragma once

#include "base/result.h"
#include "io/fileidentity.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QFileDevice;
class QIODevice;
class QSaveFile;

namespace core {

// Completes an atomic write: the temporary file replaces the target only when
// every byte reached it. commit() alone does not notice when the last buffered
// bytes fail to reach the file, so they are flushed first; on any failure the
// write is abandoned and the target stays as it was.
Status commitSaveFile(QSaveFile &file);

// Writes all `length` bytes of `data` to `device`. A short write is retried, so
// that a failure is seen with the system's reason ("No space left on device")
// rather than as a short count with none.
Status writeAllBytes(QIODevice &device, const char *data, qint64 length);

// Opens `path` for a write of its whole content (an archive, the one-file
// export), unbuffered: write in large blocks.
//
// A regular file, or a new one, is written through a QSaveFile: a temporary file
// beside it replaces it only once complete, and is never written in place. An
// existing device or FIFO (/dev/null, a pipe someone reads) is written into
// directly, as `cp` does, and is never replaced by a regular file; its write
// errors are reported like any other (/dev/full fails). A directory, or a FIFO
// that no program reads, is refused.
Result<std::unique_ptr<QFileDevice>> openWholeFile(const QString &path);

// What the replacement of a file keeps and checks.
struct ReplaceOptions
{
    // The file being replaced: the new one gets its permission bits and, where
    // the system allows it (as root, or a group of one's own), its owner and group.
    FileIdentity keep;
    // Run last before the new file takes the name; a failure abandons the write.
    std::function<Status()> beforeReplace;
};

// openWholeFile, except that "-" is standard output, written into as it goes
// (and never closed).
Result<std::unique_ptr<QFileDevice>> openOutputFile(const QString &path);

// Completes a write begun with openWholeFile: commits a QSaveFile (see
// commitSaveFile) as `options` say, flushes and closes anything else. Fails
// when any byte did not arrive.
Status commitWholeFile(QFileDevice &file, const ReplaceOptions &options = {});

// Abandons a write begun with openWholeFile or openOutputFile: a new file is
// discarded and the target stays as it was; a device is closed (what it took
// stays taken).
void cancelWholeFile(QFileDevice &file);

// Replaces the regular file at `path` (or makes it) with `bytes`: they go to a
// new file in the same directory, which then takes the name (a file made where
// there was none is made under its name, and removed if it cannot be written
// whole). The old file is
// never written, so another name it has (a hard link) keeps its content; the new
// file keeps the old one's permission bits and, where allowed, owner and group.
// `current` is what the caller found at `path` (identifyLink, or a listing of
// its folder; unknown when nothing): a symbolic link, device, FIFO or directory
// is refused, never written through or waited on, and the rename replaces a
// name, never what a link there points to. Nothing is synced to disk: for the
// many small files of a tree, where a crash leaves the old or the new file
// under the name.
Status replaceFileContent(const QString &path, const QByteArray &bytes, const FileIdentity &current);

} // namespace core
