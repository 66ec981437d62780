#include "tree/exporttree.h"

#include "codec/decode.h"
#include "io/regularfile.h"
#include "io/savefile.h"
#include "report/lines.h"
#include "tree/layout.h"

#include <QFile>

namespace core {

namespace {

// The bytes an export writes for section `section` of `entry`, into `bytes`:
// false when it writes nothing (the entry has no such section), the reason when
// the section cannot be decoded.
Result<bool> exportBytes(EntryView entry, int section, QByteArray &bytes)
{
    bytes.resize(0);
    const SectionRead decoded = appendSectionUtf8(bytes, entry, section);
    if (!decoded.ok())
        return Result<bool>::failure(decoded.reason);
    return Result<bool>::success(decoded.present);
}

// Whether the regular file at `path` holds other bytes than `bytes`; a file that
// cannot be read counts as different (the export would replace it).
bool fileDiffers(const QString &path, const FileIdentity &file, const QByteArray &bytes)
{
    if (!file.isRegular())
        return false; // never written: refused by the export
    if (file.size != bytes.size())
        return true;
    QFile existing;
    if (!openRegularFile(existing, path, Links::Refuse))
        return true;
    return existing.read(bytes.size() + 1) != bytes;
}

// A pass over the entries; the entries of files that are not there are not
// decoded. Fails when an entry cannot be read.
Result<EditedTreeFiles> editedFiles(EntrySource &entries, const QString &root, const TreeListing &listing)
{
    EditedTreeFiles edited;
    QByteArray bytes;
    const Status read = entries.forEach([&](int i, EntryView entry) {
        for (int s = 0; s < 2; ++s) {
            const FileIdentity &file = listing[s].files.at(i);
            if (!file.known)
                continue;
            const QString path = treeFilePath(root, i, s);
            if (!exportBytes(entry, s, bytes).value || !fileDiffers(path, file, bytes))
                continue;
            if (edited.count++ == 0)
                edited.first = path;
        }
        return true;
    });
    if (!read)
        return Result<EditedTreeFiles>::failure(read.reason);
    return Result<EditedTreeFiles>::success(edited);
}

// Whether any file of the listing is there: without one, nothing can differ.
bool anyFile(const TreeListing &listing)
{
    for (const TreeFolder &folder : listing) {
        for (const FileIdentity &file : folder.files) {
            if (file.known)
                return true;
        }
    }
    return false;
}

// Writes `bytes` as the whole content of `path`; false when there was nothing
// to write. Empty text only empties a file that is already there, so a section
// emptied since an earlier export leaves no stale text behind, and a tree gains
// no files for empty sections.
Result<bool> writeTreeFile(const QString &path, const FileIdentity &current, const QByteArray &bytes)
{
    if (bytes.isEmpty() && !current.known)
        return Result<bool>::success(false);
    const Status replaced = replaceFileContent(path, bytes, current);
    return replaced ? Result<bool>::success(true) : Result<bool>::failure(replaced.reason);
}

} // namespace

Result<EditedTreeFiles> findEditedTreeFiles(const Narc &narc, const QString &chosenPath)
{
    HeldEntries entries(narc);
    return findEditedTreeFiles(entries, chosenPath);
}

Result<EditedTreeFiles> findEditedTreeFiles(EntrySource &entries, const QString &chosenPath)
{
    const QString root = treeRoot(chosenPath);
    if (!treeExists(root))
        return Result<EditedTreeFiles>::success({});
    const Status folders = checkTreeFolders(root);
    if (!folders)
        return Result<EditedTreeFiles>::failure(folders.reason);
    const Result<TreeListing> listing = listTree(root, entries.count());
    if (!listing)
        return Result<EditedTreeFiles>::failure(listing.reason);
    if (!anyFile(listing.value))
        return Result<EditedTreeFiles>::success({});
    return editedFiles(entries, root, listing.value);
}

BulkSummary exportToTree(const Narc &narc, const QString &chosenPath, const FileIdentity &archive, EditedFiles edited,
                         BulkObserver &observer)
{
    HeldEntries entries(narc);
    return exportToTree(entries, chosenPath, archive, edited, observer);
}

BulkSummary exportToTree(EntrySource &entries, const QString &chosenPath, const FileIdentity &archive,
                         EditedFiles edited, BulkObserver &observer)
{
    BulkSummary summary;
    const QString root = treeRoot(chosenPath);
    const int count = entries.count();
    const auto refuse = [&](const QString &line) {
        observer.report(line);
        summary.refused = true;
        return summary;
    };
    const Status prepared = prepareExportTree(root);
    if (!prepared)
        return refuse(treeExportRefusedLine(root, prepared.reason));
    if (!treeExists(root))
        return refuse(exportTreeMissingLine(root));
    const Result<TreeListing> listing = listTree(root, count);
    if (!listing)
        return refuse(treeExportRefusedLine(root, listing.reason));
    const QString archiveFile = treeFileThatIsArchive(root, listing.value, archive);
    if (!archiveFile.isEmpty())
        return refuse(exportOverArchiveLine(archiveFile));
    // Checked: every file there already holds what the export writes.
    bool filesAreCurrent = false;
    if (edited == EditedFiles::Refuse) {
        if (anyFile(listing.value)) {
            const Result<EditedTreeFiles> changes = editedFiles(entries, root, listing.value);
            if (!changes) {
                summary.refused = true; // the entries' failure() says why
                return summary;
            }
            if (changes.value.count > 0)
                return refuse(treeExportRefusedLine(root, editedTreeReason(changes.value.count, changes.value.first)));
        }
        filesAreCurrent = true;
    }
    observer.begin(count);
    observer.status(exportingStatus());
    observer.note(exportingToDirectoryLine(root));

    QByteArray bytes; // reused for every file
    const Status read = entries.forEach([&](int i, EntryView entry) {
        observer.progress(i);
        for (int s = 0; s < 2; ++s) {
            const QString path = treeFilePath(root, i, s);
            const Result<bool> exported = exportBytes(entry, s, bytes);
            if (!exported) {
                // Whatever the file holds stays: an empty file would say the
                // section is empty, and an import could not store it anyway.
                ++summary.sectionsUnreadable;
                observer.report(exportFailedLine(path, sectionCannotBeDecodedReason(exported.reason)));
                continue;
            }
            if (!exported.value)
                continue; // a section the entry does not have: its file is not touched
            // A file that holds these bytes already is left as it is: reading
            // costs less than writing a new file and renaming it.
            const FileIdentity &current = listing.value[s].files.at(i);
            if (current.isRegular() && (filesAreCurrent || !fileDiffers(path, current, bytes)))
                continue;
            const Result<bool> written = writeTreeFile(path, current, bytes);
            if (!written) {
                ++summary.filesFailed;
                observer.report(exportFailedLine(path, written.reason));
            } else if (written.value) {
                ++summary.filesWritten;
            }
        }
        return true;
    });
    if (!read)
        return summary; // not finished; the entries' failure() says why

    summary.finished = true;
    observer.status(exportFinishedStatus());
    return summary;
}

} // namespace core
