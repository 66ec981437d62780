#pragma once

#include "base/result.h"

#include <QString>

class QFile;

namespace core {

// How long a writer waits for another one to finish with the same file.
constexpr int lockWaitMs = 10000;

// Takes the advisory lock (flock) that every writer of an archive holds from
// reading it to replacing it, on `file`, which must be open on the regular file
// `path` (see openRegularFile). The lock lasts while `file` stays open.
//
// A writer that holds it is waited for, up to `waitMs` milliseconds; then the
// file is refused ("another program is writing it"). A writer that replaced the
// file meanwhile leaves this one holding the lock of a file the path no longer
// names: then the path is opened again, so the lock, and what is read after it,
// is always that of the file the path names now. A file system that has no
// locks is used without one.
Status lockForWriting(QFile &file, const QString &path, int waitMs = lockWaitMs);

} // namespace core
