#include "io/filecopy.h"

#include "io/regularfile.h"

#include <QByteArray>

#include <cerrno>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

constexpr qint64 blockBytes = 4 << 20;

// A clone of the whole source, when the file system shares blocks between files.
bool cloned(int sourceFd, int targetFd, qint64 length)
{
    struct stat info = {};
    return fstat(sourceFd, &info) == 0 && info.st_size == length && ::ioctl(targetFd, FICLONE, sourceFd) == 0;
}

// Errors that say copy_file_range cannot serve these files, not that the copy failed.
bool unsupported(int code)
{
    return code == ENOSYS || code == EXDEV || code == EINVAL || code == EOPNOTSUPP || code == EBADF;
}

} // namespace

Status writeFileAt(int fd, qint64 offset, const char *data, qint64 length)
{
    while (length > 0) {
        const size_t piece = size_t(qMin(length, blockBytes));
        const ssize_t written = offset < 0 ? ::write(fd, data, piece) : ::pwrite(fd, data, piece, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return Status::failure(systemError(errno));
        if (written == 0)
            return Status::failure(QStringLiteral("the file took no more bytes"));
        data += written;
        if (offset >= 0)
            offset += written;
        length -= written;
    }
    return Status::success();
}

Status copyFileStart(int sourceFd, int targetFd, qint64 length)
{
    if (length > 0 && cloned(sourceFd, targetFd, length))
        return Status::success();
    off_t in = 0;
    off_t out = 0;
    while (in < length) {
        const size_t chunk = size_t(qMin(length - in, qint64(1) << 30));
        const ssize_t copied = ::copy_file_range(sourceFd, &in, targetFd, &out, chunk, 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0 && unsupported(errno))
            break;
        if (copied < 0)
            return Status::failure(systemError(errno));
        if (copied == 0)
            return Status::failure(QStringLiteral("the file ended before byte %1 (it shrank while read?)").arg(in));
    }
    QByteArray block(qsizetype(qMin(blockBytes, qMax<qint64>(length - in, 0))), Qt::Uninitialized);
    while (in < length) {
        const ssize_t got = ::pread(sourceFd, block.data(), size_t(qMin<qint64>(length - in, block.size())), in);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Status::failure(systemError(errno));
        if (got == 0)
            return Status::failure(QStringLiteral("the file ended before byte %1 (it shrank while read?)").arg(in));
        const Status written = writeFileAt(targetFd, in, block.constData(), got);
        if (!written)
            return written;
        in += got;
    }
    return Status::success();
}

} // namespace core
