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
    OpenReference,    // an existing archive to show beside the editor, read-only
};

// Asks for a path, starting in the folder `startIn` (empty: the dialog's own
// choice); an empty string means the user cancelled. The window holds one of
// these so tests can answer in place of the user.
using FileChooser = std::function<QString(FileChoice, const QString &startIn)>;

// Shows the modal file dialog that fits `choice`, with `parent` as its parent and
// starting in `startIn`, and returns the first path chosen. The folder chooser
// for an export takes the name of a folder that does not exist yet (the export
// makes it).
QString chooseWithDialog(QWidget *parent, FileChoice choice, const QString &startIn);
