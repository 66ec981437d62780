#pragma once

#include "base/result.h"

#include <QString>
#include <QtGlobal>

namespace core {

// A file as the system describes it (stat): which file it is (device and
// inode, whatever name reaches it), its size and last modification as far as
// they tell whether its content changed, how many names it has, and whose it is.
struct FileIdentity
{
    bool known = false; // false: no file; it is the same as no other
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modified = 0; // nanoseconds since the epoch
    quint64 links = 0;   // names the file has (hard links)
    uint owner = 0;
    uint group = 0;
    uint mode = 0; // the file's type and permission bits, as stat gives them

    // The same file, reached by any name (same device and inode).
    bool sameFile(const FileIdentity &other) const
    {
        return known && other.known && device == other.device && inode == other.inode;
    }
    // The same file, and by size and modification time the same content.
    bool unchanged(const FileIdentity &other) const
    {
        return sameFile(other) && size == other.size && modified == other.modified;
    }
    bool isRegular() const;
};

// The file `path` names, through symbolic links. A path that names nothing gives
// an unknown identity, not a failure; a path that cannot be looked at (a bad
// name, no permission to search a directory) gives the reason.
Result<FileIdentity> identifyPath(const QString &path);

// The same without following a symbolic link at the end of `path`.
Result<FileIdentity> identifyLink(const QString &path);

// The entry `name` of the directory open as descriptor `folder`, without
// following a symbolic link; unknown when there is none.
FileIdentity identifyInFolder(int folder, const char *name);

// The file open as descriptor `fd`.
Result<FileIdentity> identifyOpenFile(int fd);

// Whether `path` names `file` by any name: the same path, a symbolic link or a
// hard link to it. False for a path that names nothing, or an unknown `file`;
// a failure for a name that is not valid UTF-8 or cannot be looked at.
Result<bool> namesFile(const QString &path, const FileIdentity &file);

} // namespace core
