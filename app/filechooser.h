#pragma once

#include <QString>

#include <functional>

class QWidget;

// What the window asks the user to choose.
enum class FileChoice {
    OpenArchive,      // an existing archive to open
    ExportFile,       // the one file an export of every entry goes to
    ExportDirectory,  // the root of an export tree
    ImportDirectory,  // the root of a tree to import
    ExportPoTemplate, // the PO template every line is exported to
    ImportPo,         // an existing PO file whose translations are imported
};

// Asks for a path; an empty string means the user cancelled. The window holds one
// of these so tests can answer in place of the user.
using FileChooser = std::function<QString(FileChoice)>;

// Shows the modal file dialog that fits `choice`, with `parent` as its parent, and
// returns the first path chosen.
QString chooseWithDialog(QWidget *parent, FileChoice choice);
