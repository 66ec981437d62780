#pragma once

#include <QString>

namespace core {

// Makes sure the export tree below `chosenPath` can be written: creates the
// directory itself and its section directories "0000" and "0001", with any
// missing parents, leaving those that exist alone. Returns an empty string on
// success, else the log line that says which directory could not be made and the
// system's reason ("Failed to create the directory /x/0000: Permission denied").
QString createTreeDirs(const QString &chosenPath);

} // namespace core
