#include "io/regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

QString kindReason(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("it is a directory");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a pipe (FIFO), not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

// The reason an open() with O_NOFOLLOW (when `links` refuses them) failed.
QString openFailure(int code, Links links)
{
    if (code == ELOOP && links == Links::Refuse)
        return QStringLiteral("it is a symbolic link");
    return systemError(code);
}

// Hands `fd` to `file`, back in blocking mode: O_NONBLOCK served only to open a
// FIFO without waiting.
bool adopt(QFile &file, int fd, QIODevice::OpenMode mode, QString *error)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int code = errno;
        ::close(fd);
        return fail(error, systemError(code));
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(error, file.errorString());
    }
    return true;
}

int openPath(const QString &path, int flags, Links links)
{
    if (links == Links::Refuse)
        flags |= O_NOFOLLOW;
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Why the file open at `fd` is not a regular one; empty when it is.
QString regularProblem(int fd)
{
    struct stat info{};
    if (fstat(fd, &info) != 0)
        return QStringLiteral("cannot tell what kind of file it is (") + systemError(errno) + QLatin1Char(')');
    return kindReason(info.st_mode);
}

} // namespace

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString notRegularReason(const QString &path)
{
    struct stat info{};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return kindReason(info.st_mode);
}

bool openRegularFile(QFile &file, const QString &path, Links links, QString *error)
{
    file.close();
    const int fd = openPath(path, O_RDONLY, links);
    if (fd < 0)
        return fail(error, openFailure(errno, links));
    const QString reason = regularProblem(fd);
    if (!reason.isEmpty()) {
        ::close(fd);
        return fail(error, reason);
    }
    return adopt(file, fd, QIODevice::ReadOnly, error);
}

bool createRegularFile(QFile &file, const QString &path, Links links, QString *error)
{
    file.close();
    // No O_TRUNC: only a file known to be regular is emptied.
    const int fd = openPath(path, O_WRONLY | O_CREAT, links);
    if (fd < 0) {
        const int code = errno;
        // A FIFO no one reads refuses a non-blocking writer with ENXIO.
        const QString kind = code == ENXIO ? notRegularReason(path) : QString();
        return fail(error, kind.isEmpty() ? openFailure(code, links) : kind);
    }
    QString reason = regularProblem(fd);
    if (reason.isEmpty() && ftruncate(fd, 0) != 0)
        reason = systemError(errno);
    if (!reason.isEmpty()) {
        ::close(fd);
        return fail(error, reason);
    }
    return adopt(file, fd, QIODevice::WriteOnly | QIODevice::Unbuffered, error);
}

bool openSpecialFile(QFile &file, const QString &path, QString *error)
{
    file.close();
    const int fd = openPath(path, O_WRONLY, Links::Follow);
    if (fd < 0) {
        const int code = errno;
        if (code == ENXIO)
            return fail(error, QStringLiteral("it is a pipe (FIFO) that no program is reading"));
        return fail(error, systemError(code));
    }
    struct stat info{};
    QString reason;
    if (fstat(fd, &info) != 0)
        reason = systemError(errno);
    else if (S_ISDIR(info.st_mode))
        reason = kindReason(info.st_mode);
    else if (S_ISREG(info.st_mode))
        reason = QStringLiteral("it became a regular file while it was opened");
    if (!reason.isEmpty()) {
        ::close(fd);
        return fail(error, reason);
    }
    return adopt(file, fd, QIODevice::WriteOnly | QIODevice::Unbuffered, error);
}

} // namespace core
