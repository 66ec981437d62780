#include "io/fileidentity.h"

#include "io/regularfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace core {

namespace {

FileIdentity fromStat(const struct stat &info)
{
    FileIdentity identity;
    identity.known = true;
    identity.device = quint64(info.st_dev);
    identity.inode = quint64(info.st_ino);
    identity.size = qint64(info.st_size);
    identity.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.links = quint64(info.st_nlink);
    identity.owner = info.st_uid;
    identity.group = info.st_gid;
    identity.mode = info.st_mode;
    return identity;
}

Result<FileIdentity> identify(const QString &path, bool follow)
{
    const Result<QByteArray> name = nativePath(path);
    if (!name)
        return Result<FileIdentity>::failure(name.reason);
    struct stat info = {};
    const int done = follow ? ::stat(name.value.constData(), &info) : ::lstat(name.value.constData(), &info);
    if (done != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Result<FileIdentity>::success(FileIdentity());
        return Result<FileIdentity>::failure(systemError(errno));
    }
    return Result<FileIdentity>::success(fromStat(info));
}

} // namespace

bool FileIdentity::isRegular() const
{
    return known && S_ISREG(mode);
}

Result<FileIdentity> identifyPath(const QString &path)
{
    return identify(path, true);
}

Result<FileIdentity> identifyLink(const QString &path)
{
    return identify(path, false);
}

FileIdentity identifyInFolder(int folder, const char *name)
{
    struct stat info = {};
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return FileIdentity();
    return fromStat(info);
}

Result<FileIdentity> identifyOpenFile(int fd)
{
    struct stat info = {};
    if (fstat(fd, &info) != 0)
        return Result<FileIdentity>::failure(systemError(errno));
    return Result<FileIdentity>::success(fromStat(info));
}

Result<bool> namesFile(const QString &path, const FileIdentity &file)
{
    const Result<FileIdentity> target = identifyPath(path);
    if (!target)
        return Result<bool>::failure(target.reason);
    return Result<bool>::success(target.value.sameFile(file));
}

} // namespace core
