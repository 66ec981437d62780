#pragma once

#include <QString>

#include <memory>

class QFileDevice;
class QIODevice;
class QSaveFile;

namespace core {

// Completes an atomic write: the temporary file replaces the target only when
// every byte reached it. commit() alone does not notice when the last buffered
// bytes fail to reach the file, so they are flushed first; on any failure the
// write is abandoned, the target stays as it was, and `*error` (when given) says
// why.
bool commitSaveFile(QSaveFile &file, QString *error = nullptr);

// Writes all `length` bytes of `data` to `device`. A short write is retried, so
// that a failure is seen with the system's reason ("No space left on device")
// rather than as a short count with none. False, with `*error` set, on failure.
bool writeAllBytes(QIODevice &device, const char *data, qint64 length, QString *error = nullptr);

// Opens `path` for a write of its whole content (an archive, the one-file
// export), unbuffered: write in large blocks.
//
// A regular file, or a new one, is written through a QSaveFile: a temporary file
// beside it replaces it only once complete, and is never written in place. An
// existing device or FIFO (/dev/null, a pipe someone reads) is written into
// directly, as `cp` does, and is never replaced by a regular file; its write
// errors are reported like any other (/dev/full fails). A directory, or a FIFO
// that no program reads, is refused. Returns null and sets `*error` on failure.
std::unique_ptr<QFileDevice> openWholeFile(const QString &path, QString *error = nullptr);

// openWholeFile, except that "-" is standard output, written into as it goes
// (and never closed).
std::unique_ptr<QFileDevice> openOutputFile(const QString &path, QString *error = nullptr);

// Completes a write begun with openWholeFile: commits a QSaveFile (see
// commitSaveFile), flushes and closes anything else. False, with `*error` set,
// when any byte did not arrive.
bool commitWholeFile(QFileDevice &file, QString *error = nullptr);

} // namespace core
