#pragma once

#include "base/result.h"
#include "io/fileidentity.h"
#include "narc/entrysource.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QString>

namespace core {

// What an export does with tree files that differ from what it would write
// (text edited since the last export): refuse the whole export, or replace them.
enum class EditedFiles { Refuse, Replace };

// The files of a tree that an export would replace with other content.
struct EditedTreeFiles
{
    int count = 0;
    QString first; // the first of them in export order (entry by entry), its path
};

// The files below the tree at `chosenPath` that an export of `narc` would
// replace with other bytes. Files the export would not touch (of sections the
// entries do not have, of sections that cannot be decoded, links and anything
// not a regular file) do not count, and files the export would make do not
// either. A tree that does not exist yet has none; section folders that
// checkTreeFolders refuses, or that cannot be read, give the reason. For the
// window, which asks "N files in DIR differ from the archive and would be
// replaced" before it exports with EditedFiles::Replace.
Result<EditedTreeFiles> findEditedTreeFiles(EntrySource &entries, const QString &chosenPath);
Result<EditedTreeFiles> findEditedTreeFiles(const Narc &narc, const QString &chosenPath);

// Writes one UTF-8 file per entry and section into root/0000 and root/0001;
// `chosenPath` is the path as chosen, treeRoot() is applied here, and the root
// and its two folders are made when missing (prepareExportTree).
//
// Refused as a whole, with one line and nothing written (summary.refused):
// linked or identical section folders (checkTreeFolders), a folder that cannot
// be made, a tree file that is `archive` by any name ("it is the archive being
// edited"), and, with EditedFiles::Refuse, files that differ from what the
// export would write (see findEditedTreeFiles), the line naming their count
// and the first of them.
//
// Each file is written to a new file beside it that then takes its name, so a
// file with other names (hard links) never has them written through; a file
// that already holds what the export would write is left as it is. A section
// with empty text gets no file, and an existing file of its name is emptied; the
// file of a section the entry does not have is left alone. A file that cannot be
// written is reported with the reason and the export goes on; so is a symbolic
// link, device or FIFO in a file's place, which is never written through. A
// section that cannot be decoded is reported and its file left as it is.
//
// The entries are read in order, one at a time: twice when files are there to
// compare with first. When one cannot be read the export stops there, files
// written so far stay, and the run does not finish (refused when nothing was
// written yet); `entries`' failure() says why.
BulkSummary exportToTree(EntrySource &entries, const QString &chosenPath, const FileIdentity &archive,
                         EditedFiles edited, BulkObserver &observer);
BulkSummary exportToTree(const Narc &narc, const QString &chosenPath, const FileIdentity &archive, EditedFiles edited,
                         BulkObserver &observer);

} // namespace core
