#include "io/savefile.h"

#include "io/filecopy.h"
#include "io/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

// Gives the file open as `fd` the permission bits of `old` and, where the
// system allows, its owner and group. The owner goes first: changing it clears
// the set-user-ID bit that fchmod then puts back. A refused chown is not an
// error: an ordinary user cannot give a file away.
void keepOwnerAndMode(int fd, const FileIdentity &old)
{
    if (!old.isRegular())
        return;
    struct stat now = {};
    if (fstat(fd, &now) != 0)
        return;
    // A changed owner drops the set-user-ID bit, which fchmod puts back.
    const bool chowned = now.st_uid != old.owner || now.st_gid != old.group;
    if (chowned && fchown(fd, old.owner, old.group) != 0)
        (void)!fchown(fd, uid_t(-1), old.group);
    if (chowned || (now.st_mode & 07777) != (old.mode & 07777))
        (void)!fchmod(fd, old.mode & 07777);
}

} // namespace

Status commitSaveFile(QSaveFile &file)
{
    if (!file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Status::failure(reason);
    }
    if (!file.commit())
        return Status::failure(file.errorString());
    return Status::success();
}

Status writeAllBytes(QIODevice &device, const char *data, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const qint64 written = device.write(data + done, length - done);
        if (written <= 0) {
            QString reason = device.errorString();
            if (written == 0 || reason == QLatin1String("Unknown error"))
                reason = QStringLiteral("the file took no more bytes");
            return Status::failure(reason);
        }
        done += written;
    }
    return Status::success();
}

namespace {

// The descriptor `path` names when it is one of this process's open descriptors
// by its /proc name, directly or through links (/dev/stdout, /dev/fd/1,
// /proc/self/fd/1); -1 otherwise.
int descriptorNamed(const QByteArray &path)
{
    static const QByteArray ownFolder = "/proc/" + QByteArray::number(qint64(::getpid())) + "/fd/";
    QByteArray at = path;
    for (int hop = 0; hop < 40; ++hop) {
        const qsizetype slash = at.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : at.left(slash);
        char *resolved = ::realpath(folder.constData(), nullptr);
        if (!resolved)
            return -1;
        QByteArray full(resolved);
        std::free(resolved);
        if (!full.endsWith('/'))
            full += '/';
        full += at.mid(slash + 1);
        if (full.startsWith(ownFolder) || full.startsWith("/proc/self/fd/")) {
            bool number = false;
            const int fd = full.mid(full.lastIndexOf('/') + 1).toInt(&number);
            return number && fd >= 0 ? fd : -1;
        }
        struct stat info = {};
        if (::lstat(full.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return -1;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(full.constData(), target.data(), size_t(target.size()));
        if (length <= 0 || length >= target.size())
            return -1;
        target.truncate(length);
        at = target.startsWith('/') ? target : full.left(full.lastIndexOf('/') + 1) + target;
    }
    return -1;
}

} // namespace

Result<std::unique_ptr<QFileDevice>> openWholeFile(const QString &path)
{
    using Opened = Result<std::unique_ptr<QFileDevice>>;
    const Result<QByteArray> name = nativePath(path);
    if (!name)
        return Opened::failure(name.reason);
    // A descriptor the shell opened (/dev/stdout redirected to a file, perhaps
    // with >>) is written into as it stands, appending when it appends, as "-"
    // is: replacing the file its /proc name leads to would drop what was there.
    const int descriptor = descriptorNamed(name.value);
    if (descriptor >= 0) {
        const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return Opened::failure(systemError(errno));
        auto file = std::make_unique<QFile>();
        if (!file->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return Opened::failure(file->errorString());
        }
        return Opened::success(std::move(file));
    }
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        auto file = std::make_unique<QFile>();
        const Status opened = openSpecialFile(*file, path);
        if (!opened)
            return Opened::failure(opened.reason);
        return Opened::success(std::move(file));
    }
    auto file = std::make_unique<QSaveFile>(path);
    // Never falls back to writing the target in place: a failed write would
    // leave it cut short.
    file->setDirectWriteFallback(false);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Opened::failure(file->errorString());
    return Opened::success(std::move(file));
}

Result<std::unique_ptr<QFileDevice>> openOutputFile(const QString &path)
{
    using Opened = Result<std::unique_ptr<QFileDevice>>;
    if (path != QLatin1String("-"))
        return openWholeFile(path);
    auto out = std::make_unique<QFile>();
    if (!out->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        return Opened::failure(out->errorString());
    return Opened::success(std::move(out));
}

Status commitWholeFile(QFileDevice &file, const ReplaceOptions &options)
{
    if (auto *saveFile = qobject_cast<QSaveFile *>(&file)) {
        if (!saveFile->flush()) {
            const QString reason = saveFile->errorString();
            saveFile->cancelWriting();
            return Status::failure(reason);
        }
        keepOwnerAndMode(saveFile->handle(), options.keep);
        if (options.beforeReplace) {
            const Status check = options.beforeReplace();
            if (!check) {
                saveFile->cancelWriting();
                return check;
            }
        }
        return commitSaveFile(*saveFile);
    }
    const bool flushed = file.flush();
    const QString flushError = file.errorString();
    file.close();
    if (flushed && file.error() == QFileDevice::NoError)
        return Status::success();
    return Status::failure(flushed ? file.errorString() : flushError);
}

void cancelWholeFile(QFileDevice &file)
{
    if (auto *saveFile = qobject_cast<QSaveFile *>(&file))
        saveFile->cancelWriting();
    else
        file.close();
}

Status replaceFileContent(const QString &path, const QByteArray &bytes, const FileIdentity &current)
{
    const Result<QByteArray> name = nativePath(path);
    if (!name)
        return name.status();
    if (current.known) {
        const Status regular = checkRegularFile(current.mode);
        if (!regular)
            return regular;
    }

    // Where nothing was, the file is made under its name, and removed again if
    // its bytes do not all arrive: no other file is at stake.
    if (!current.known) {
        const int fd = ::open(name.value.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            Status written = writeFileAt(fd, -1, bytes.constData(), bytes.size());
            if (::close(fd) != 0 && written)
                written = Status::failure(systemError(errno));
            if (!written)
                ::unlink(name.value.constData());
            return written;
        }
        if (errno != EEXIST)
            return Status::failure(systemError(errno));
        // Made meanwhile: replaced as any other file.
    }

    // A new name beside the target: "dir/.0001.txt.ab12cd".
    const qsizetype slash = name.value.lastIndexOf('/');
    const QByteArray directory = name.value.left(slash + 1);
    const QByteArray base = name.value.mid(slash + 1);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = directory + '.' + base + '.'
                    + QByteArray::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 16);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            return Status::failure(systemError(errno));
    }
    if (fd < 0)
        return Status::failure(systemError(EEXIST));

    keepOwnerAndMode(fd, current);
    Status written = writeFileAt(fd, -1, bytes.constData(), bytes.size());
    if (::close(fd) != 0 && written)
        written = Status::failure(systemError(errno));
    if (written && ::rename(temporary.constData(), name.value.constData()) != 0)
        written = Status::failure(systemError(errno));
    if (!written)
        ::unlink(temporary.constData());
    return written;
}

} // namespace core
