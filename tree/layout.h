#pragma once

#include "base/result.h"
#include "io/fileidentity.h"

#include <QList>
#include <QString>

#include <array>

namespace core {

// The export tree: a root directory holding "0000" (section 0) and "0001"
// (section 1), each with one UTF-8 file per entry, "EEEE.txt". Its paths, its
// folders and the checks on them live here, for the export, the import and the
// window alike.

// The root as the tree operations use it: the chosen path with "/" appended when
// it does not already end in one.
QString treeRoot(const QString &chosenPath);

// The folder of `section` below `root` (as treeRoot gives it): root + "SSSS".
QString treeFolderPath(const QString &root, int section);

// The path of the text file of (entry, section) below `root` (as treeRoot gives
// it): root + "SSSS/EEEE.txt", numbers zero padded to at least four digits.
QString treeFilePath(const QString &root, int entryIndex, int section);

// Whether `root` (ending in "/") holds the directories "0000" and "0001" an
// export tree needs. "0001" is looked for only when "0000" is there.
bool treeExists(const QString &root);

// Refuses section folders that would make the tree lie: "0000" or "0001" that is
// a symbolic link (an export would write, an import read, somewhere else), or
// that are the same directory (sections would be swapped without a word).
// Both must exist (see treeExists).
Status checkTreeFolders(const QString &root);

// Makes the tree below `root` ready for an export: refuses linked section
// folders as checkTreeFolders does, before anything is made, then creates the
// root and its "0000" and "0001" with any missing parents, and checks again.
// The reason names a directory that could not be made and the system's reason.
Status prepareExportTree(const QString &root);

// The files of the two section folders of a tree, listed once: for every entry
// of an archive of `count` entries whether a file of its name is there (any
// kind: a link or a directory counts), and which entries past the end have one.
struct TreeFolder
{
    // Per entry below `count`: unknown when there is no file; else as lstat
    // tells (links not followed), or only `known` when the listing was of names.
    QList<FileIdentity> files;
    QList<int> beyond; // entries >= count that have a file, ascending
    bool has(int entry) const { return files.at(entry).known; }
};
using TreeListing = std::array<TreeFolder, 2>;

// Lists "0000" and "0001" below `root`; names other than "EEEE.txt" are passed
// over. With TreeDetail::Names only which files are there is found, without a
// look at each. The reason says which folder could not be read.
enum class TreeDetail { Names, Identities };
Result<TreeListing> listTree(const QString &root, int count, TreeDetail detail = TreeDetail::Identities);

// The first file of the tree that would be written by an export of `count`
// entries and is the archive `archive` by any name (the same file, or a link
// to it); empty when there is none.
QString treeFileThatIsArchive(const QString &root, const TreeListing &listing, const FileIdentity &archive);

} // namespace core
