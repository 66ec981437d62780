#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>

class QFile;

namespace core {

// Opening files whose kind matters. A user's file can be anything a path names:
// a device that never ends (/dev/zero), a FIFO that blocks the opener until
// someone writes, a symbolic link into somewhere else. These open only what the
// caller can handle, never block, and say why they refuse in words a log line can
// carry: "it is a device, not a regular file", or the system's own reason
// ("Permission denied").

enum class Links {
    Follow, // a symbolic link stands for the file it points to
    Refuse, // a symbolic link is refused ("it is a symbolic link")
};

// The name the system knows `path` by. File names are bytes; a name that is not
// valid UTF-8 reaches the program with its bad bytes replaced by U+FFFD, and
// encoding that back would name another file. Such a name (and one that holds
// U+FFFD, which cannot be told from it) is refused with "the file name is not
// valid UTF-8", as is an empty one. Every path the core opens goes through here.
Result<QByteArray> nativePath(const QString &path);

// Opens the regular file at `path` for reading into `file` (closed before).
// A directory, device, FIFO or socket is refused without reading or blocking.
Status openRegularFile(QFile &file, const QString &path, Links links);

// Reads the regular file at `path` whole into `buffer` with one read() when it
// holds 1 to `limit` bytes: open, fstat, read, close. The buffer keeps its memory
// for the next file. False, with nothing said, when that cannot be done (any
// error, another kind of file, an empty or a larger file, a short read): the
// caller then opens the file with openRegularFile, which says why.
bool readSmallRegularFile(const QString &path, Links links, qint64 limit, QByteArray &buffer);

// Opens an existing file that is not a regular file (a device, a FIFO) for
// writing into `file`, as `cp` does, without blocking on a FIFO that no one
// reads. A directory, or a regular file (which must be replaced whole instead,
// see openWholeFile), is refused.
Status openSpecialFile(QFile &file, const QString &path);

// The system's text for `errno`-style `code`.
QString systemError(int code);

// Refuses a file of mode `mode` (from stat) that is not a regular file: "it is a
// directory", "it is a device, not a regular file", "it is a symbolic link", ...
Status checkRegularFile(unsigned mode);

} // namespace core
