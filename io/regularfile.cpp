#include "io/regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

// The reason an open() with O_NOFOLLOW (when `links` refuses them) failed.
QString openFailure(int code, Links links)
{
    if (code == ELOOP && links == Links::Refuse)
        return QStringLiteral("it is a symbolic link");
    return systemError(code);
}

// Hands `fd` to `file`, back in blocking mode: O_NONBLOCK served only to open a
// FIFO without waiting.
Status adopt(QFile &file, int fd, QIODevice::OpenMode mode)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int code = errno;
        ::close(fd);
        return Status::failure(systemError(code));
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Status::failure(file.errorString());
    }
    return Status::success();
}

// Opens `name` without blocking; -1 with errno set on failure.
int openNative(const QByteArray &name, int flags, Links links)
{
    if (links == Links::Refuse)
        flags |= O_NOFOLLOW;
    int fd = -1;
    do {
        fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

Status checkRegularFile(unsigned mode)
{
    if (S_ISREG(mode))
        return Status::success();
    if (S_ISDIR(mode))
        return Status::failure(QStringLiteral("it is a directory"));
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return Status::failure(QStringLiteral("it is a device, not a regular file"));
    if (S_ISFIFO(mode))
        return Status::failure(QStringLiteral("it is a pipe (FIFO), not a regular file"));
    if (S_ISSOCK(mode))
        return Status::failure(QStringLiteral("it is a socket, not a regular file"));
    if (S_ISLNK(mode))
        return Status::failure(QStringLiteral("it is a symbolic link"));
    return Status::failure(QStringLiteral("it is not a regular file"));
}

Result<QByteArray> nativePath(const QString &path)
{
    if (path.isEmpty())
        return Result<QByteArray>::failure(systemError(ENOENT));
    // Text without unpaired surrogates goes to UTF-8 and back unchanged.
    if (path.contains(QChar::ReplacementCharacter) || !path.isValidUtf16() || path.contains(QChar(0)))
        return Result<QByteArray>::failure(QStringLiteral("the file name is not valid UTF-8"));
    return Result<QByteArray>::success(QFile::encodeName(path));
}

Status openRegularFile(QFile &file, const QString &path, Links links)
{
    file.close();
    const Result<QByteArray> name = nativePath(path);
    if (!name)
        return name.status();
    const int fd = openNative(name.value, O_RDONLY, links);
    if (fd < 0)
        return Status::failure(openFailure(errno, links));
    struct stat info = {};
    const Status regular = fstat(fd, &info) != 0
                               ? Status::failure(QStringLiteral("cannot tell what kind of file it is (")
                                                 + systemError(errno) + QLatin1Char(')'))
                               : checkRegularFile(info.st_mode);
    if (!regular) {
        ::close(fd);
        return regular;
    }
    return adopt(file, fd, QIODevice::ReadOnly);
}

bool readSmallRegularFile(const QString &path, Links links, qint64 limit, QByteArray &buffer)
{
    const Result<QByteArray> name = nativePath(path);
    if (!name)
        return false;
    const int fd = openNative(name.value, O_RDONLY, links);
    if (fd < 0)
        return false;
    struct stat info = {};
    bool read = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 && info.st_size <= limit;
    if (read) {
        buffer.resize(qsizetype(info.st_size));
        ssize_t got = -1;
        do {
            got = ::read(fd, buffer.data(), size_t(info.st_size));
        } while (got < 0 && errno == EINTR);
        read = got == info.st_size;
    }
    ::close(fd);
    return read;
}

Status openSpecialFile(QFile &file, const QString &path)
{
    file.close();
    const Result<QByteArray> name = nativePath(path);
    if (!name)
        return name.status();
    const int fd = openNative(name.value, O_WRONLY, Links::Follow);
    if (fd < 0) {
        const int code = errno;
        if (code == ENXIO)
            return Status::failure(QStringLiteral("it is a pipe (FIFO) that no program is reading"));
        return Status::failure(systemError(code));
    }
    struct stat info = {};
    Status special;
    if (fstat(fd, &info) != 0)
        special = Status::failure(systemError(errno));
    else if (S_ISDIR(info.st_mode))
        special = checkRegularFile(info.st_mode);
    else if (S_ISREG(info.st_mode))
        special = Status::failure(QStringLiteral("it became a regular file while it was opened"));
    if (!special) {
        ::close(fd);
        return special;
    }
    return adopt(file, fd, QIODevice::WriteOnly | QIODevice::Unbuffered);
}

} // namespace core
