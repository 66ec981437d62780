#include "io/filelock.h"

#include "io/fileidentity.h"
#include "io/regularfile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <sys/file.h>

namespace core {

namespace {

enum class Taken { Yes, Busy, Unsupported, Failed };

Taken tryLock(int fd, int *code)
{
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *code = errno;
        if (*code == EINTR)
            continue;
        if (*code == EWOULDBLOCK)
            return Taken::Busy;
        if (*code == ENOLCK || *code == EOPNOTSUPP || *code == EINVAL)
            return Taken::Unsupported;
        return Taken::Failed;
    }
    return Taken::Yes;
}

} // namespace

Status lockForWriting(QFile &file, const QString &path, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        int code = 0;
        switch (tryLock(file.handle(), &code)) {
        case Taken::Busy:
            if (deadline.hasExpired()) {
                return Status::failure(QStringLiteral("another program is writing it (still locked after %1 seconds)")
                                           .arg(waitMs / 1000.0));
            }
            QThread::msleep(10);
            continue;
        case Taken::Unsupported:
            return Status::success();
        case Taken::Failed:
            return Status::failure(systemError(code));
        case Taken::Yes:
            break;
        }
        // Locked; but is it still the file the path names?
        const Result<FileIdentity> locked = identifyOpenFile(file.handle());
        const Result<FileIdentity> named = identifyPath(path);
        if (!locked)
            return locked.status();
        if (!named)
            return named.status();
        if (locked.value.sameFile(named.value))
            return Status::success();
        const Status reopened = openRegularFile(file, path, Links::Follow);
        if (!reopened)
            return reopened;
    }
}

} // namespace core
