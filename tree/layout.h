#pragma once

#include <QString>

namespace core {

// The export tree: a root directory holding "0000" (section 0) and "0001"
// (section 1), each with one UTF-8 file per entry, "EEEE.txt".

// The root as the tree operations use it: the chosen path with "/" appended when
// it does not already end in one.
QString treeRoot(const QString &chosenPath);

// The path of the text file of (entry, section) below `root` (as treeRoot gives
// it): root + "SSSS/EEEE.txt", numbers zero padded to at least four digits.
QString treeFilePath(const QString &root, int entryIndex, int section);

// Whether `root` (ending in "/") holds the directories "0000" and "0001" an
// export tree needs. "0001" is looked for only when "0000" is there.
bool treeExists(const QString &root);

// Makes sure the export tree below `chosenPath` can be written: creates the
// directory itself and its section directories "0000" and "0001", with any
// missing parents, leaving those that exist alone. Returns an empty string on
// success, else the log line that says which directory could not be made and the
// system's reason ("Failed to create the directory /x/0000: Permission denied").
QString createTreeDirs(const QString &chosenPath);

} // namespace core
