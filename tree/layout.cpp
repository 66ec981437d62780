#include "tree/layout.h"

#include "io/regularfile.h"
#include "report/place.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace core {

namespace {

const QString sectionNames[2] = {QStringLiteral("0000"), QStringLiteral("0001")};

bool isLink(const FileIdentity &identity)
{
    return identity.known && S_ISLNK(identity.mode);
}

// The entry a tree file name stands for ("0042.txt": 42), or -1 for any other
// name. Only the names treeFilePath makes count: at least four digits, no
// leading zero beyond those, at most nine.
int entryOfName(const char *name)
{
    const size_t length = std::strlen(name);
    if (length < 8 || length > 13 || std::strcmp(name + length - 4, ".txt") != 0)
        return -1;
    const size_t digits = length - 4;
    int value = 0;
    for (size_t i = 0; i < digits; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        value = value * 10 + (name[i] - '0');
    }
    if (digits > 4 && name[0] == '0')
        return -1;
    return value;
}

Result<TreeFolder> listFolder(const QString &path, int count, TreeDetail detail)
{
    TreeFolder folder;
    folder.files.resize(count);
    const Result<QByteArray> name = nativePath(path);
    if (!name)
        return Result<TreeFolder>::failure(name.reason);
    const int fd = ::open(name.value.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *directory = fd < 0 ? nullptr : fdopendir(fd);
    if (!directory) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        return Result<TreeFolder>::failure(QStringLiteral("cannot read %1 (%2)").arg(path, systemError(code)));
    }
    while (const dirent *item = readdir(directory)) {
        const int entry = entryOfName(item->d_name);
        if (entry < 0)
            continue;
        if (entry < count && detail == TreeDetail::Names) {
            folder.files[entry].known = true;
        } else if (entry < count) {
            folder.files[entry] = identifyInFolder(fd, item->d_name); // gone since: as if never there
        } else {
            folder.beyond.append(entry);
        }
    }
    closedir(directory);
    std::sort(folder.beyond.begin(), folder.beyond.end());
    return Result<TreeFolder>::success(std::move(folder));
}

} // namespace

QString treeRoot(const QString &chosenPath)
{
    if (chosenPath.endsWith(QLatin1Char('/')))
        return chosenPath;
    return chosenPath + QLatin1Char('/');
}

QString treeFolderPath(const QString &root, int section)
{
    return root + pad4(section);
}

QString treeFilePath(const QString &root, int entryIndex, int section)
{
    return root + pad4(section) + QLatin1Char('/') + pad4(entryIndex) + QStringLiteral(".txt");
}

bool treeExists(const QString &root)
{
    return QFileInfo(root + sectionNames[0]).isDir() && QFileInfo(root + sectionNames[1]).isDir();
}

Status checkTreeFolders(const QString &root)
{
    FileIdentity folders[2];
    for (int s = 0; s < 2; ++s) {
        const Result<FileIdentity> folder = identifyLink(root + sectionNames[s]);
        if (!folder)
            return folder.status();
        if (isLink(folder.value))
            return Status::failure(sectionNames[s] + QStringLiteral(" is a symbolic link"));
        if (!folder.value.known || !S_ISDIR(folder.value.mode))
            return Status::failure(sectionNames[s] + QStringLiteral(" is not a directory"));
        folders[s] = folder.value;
    }
    if (folders[0].sameFile(folders[1]))
        return Status::failure(QStringLiteral("0000 and 0001 are the same directory"));
    return Status::success();
}

Status prepareExportTree(const QString &root)
{
    for (const QString &name : sectionNames) {
        const Result<FileIdentity> folder = identifyLink(root + name);
        if (!folder)
            return folder.status();
        if (isLink(folder.value))
            return Status::failure(name + QStringLiteral(" is a symbolic link"));
    }
    for (const QString &dir : {root, root + sectionNames[0], root + sectionNames[1]}) {
        const Result<QByteArray> name = nativePath(dir);
        if (!name)
            return name.status();
        const std::filesystem::path native(name.value.toStdString());
        std::error_code error;
        std::filesystem::create_directories(native, error);
        // create_directories reports nothing for a path that is already there,
        // even a regular file, so look at what is there now.
        if (!error && !std::filesystem::is_directory(native, error) && !error)
            error = std::make_error_code(std::errc::not_a_directory);
        if (error) {
            return Status::failure(QStringLiteral("cannot create the directory %1 (%2)")
                                       .arg(dir, QString::fromLocal8Bit(error.message().c_str())));
        }
    }
    return checkTreeFolders(root);
}

Result<TreeListing> listTree(const QString &root, int count, TreeDetail detail)
{
    TreeListing listing;
    for (int s = 0; s < 2; ++s) {
        Result<TreeFolder> folder = listFolder(root + sectionNames[s], count, detail);
        if (!folder)
            return Result<TreeListing>::failure(folder.reason);
        listing[s] = std::move(folder.value);
    }
    return Result<TreeListing>::success(std::move(listing));
}

QString treeFileThatIsArchive(const QString &root, const TreeListing &listing, const FileIdentity &archive)
{
    if (!archive.known)
        return {};
    for (int entry = 0; entry < listing[0].files.size(); ++entry) {
        for (int s = 0; s < 2; ++s) {
            const FileIdentity &file = listing[s].files.at(entry);
            if (!file.known)
                continue;
            if (file.sameFile(archive))
                return treeFilePath(root, entry, s);
            if (isLink(file)) {
                const Result<FileIdentity> target = identifyPath(treeFilePath(root, entry, s));
                if (target && target.value.sameFile(archive))
                    return treeFilePath(root, entry, s);
            }
        }
    }
    return {};
}

} // namespace core
