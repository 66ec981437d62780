#pragma once

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

// Opens the regular file at `path` for reading into `file` (closed before).
// A directory, device, FIFO or socket is refused without reading or blocking.
bool openRegularFile(QFile &file, const QString &path, Links links, QString *error);

// Opens the regular file at `path` for writing (unbuffered) into `file`, creating it when it
// is absent and emptying it otherwise, as a plain write would; anything that is
// not a regular file is refused before it is changed.
bool createRegularFile(QFile &file, const QString &path, Links links, QString *error);

// Opens an existing file that is not a regular file (a device, a FIFO) for
// writing into `file`, as `cp` does, without blocking on a FIFO that no one
// reads. A directory, or a regular file (which must be replaced whole instead,
// see openWholeFile), is refused.
bool openSpecialFile(QFile &file, const QString &path, QString *error);

// The kind of file at `path` as a reason for refusing it ("it is a directory",
// "it is a device, not a regular file", ...), or an empty string for a regular
// file or no file at all. Symbolic links are followed.
QString notRegularReason(const QString &path);

// The system's text for `errno`-style `code`.
QString systemError(int code);

} // namespace core
