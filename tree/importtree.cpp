#include "tree/importtree.h"

#include "codec/compose.h"
#include "codec/messageheader.h"
#include "io/textfile.h"
#include "report/lines.h"
#include "tree/layout.h"

#include <optional>
#include <utility>

namespace core {

namespace {

// How many sections `entry` has, or -1 when its head cannot be read (then its
// files are read and the composer says what is wrong). An empty entry has none.
int sectionCountOf(EntryView entry, int *lineCount)
{
    *lineCount = anyLineCount;
    if (entry.isEmpty())
        return 0;
    const MessageHeaderRead head = readMessageHeader(entry);
    if (!head.ok())
        return -1;
    *lineCount = head.header.lineCount;
    return head.header.sectionCount;
}

} // namespace

BulkSummary importFromTree(Narc &narc, const QString &chosenPath, BulkObserver &observer)
{
    HeldEdits edits(narc);
    return importFromTree(edits, chosenPath, observer);
}

BulkSummary importFromTree(EditableEntries &entries, const QString &chosenPath, BulkObserver &observer)
{
    BulkSummary summary;
    const QString root = treeRoot(chosenPath);
    const int count = entries.count();
    observer.begin(count);
    observer.status(importingStatus());
    const auto refuse = [&](const QString &line) {
        observer.report(line);
        summary.refused = true;
        return summary;
    };
    if (!treeExists(root))
        return refuse(importTreeMissingLine(root));
    const Status folders = checkTreeFolders(root);
    if (!folders)
        return refuse(treeImportRefusedLine(root, folders.reason));
    // Listed once: a file that is not there is known without looking for it.
    const Result<TreeListing> listing = listTree(root, count, TreeDetail::Names);
    if (!listing)
        return refuse(treeImportRefusedLine(root, listing.reason));
    observer.note(importingFromDirectoryLine(root));

    QByteArray bytes; // every file is read into this one buffer

    entries.rewind();
    for (int i = 0; i < count; ++i) {
        observer.progress(i);
        EntryView original;
        if (!entries.next(&original))
            break;
        // The entry as its sections are put in: the original until one changes.
        std::optional<NarcEntry> changed;
        const auto current = [&] { return changed ? EntryView(*changed) : original; };
        int lineCount = 0;
        const int sections = sectionCountOf(original, &lineCount);
        for (int s = 0; s < 2; ++s) {
            observer.sectionChanged(s);
            const QString path = treeFilePath(root, i, s);
            const bool present = listing.value[s].has(i);
            if (sections >= 0 && s >= sections) {
                // Not looked for; but text left for it would be silently ignored.
                if (present) {
                    ++summary.sectionsSkipped;
                    observer.report(noSuchSectionLine(i, s));
                }
                continue;
            }
            if (!present) {
                ++summary.filesMissing;
                observer.report(importFailedLine(path, QString()));
                continue;
            }
            // UTF-8 text that is stored is parsed straight from its bytes;
            // anything else is read again as text, which says why.
            if (const std::optional<QByteArrayView> utf8 = readEditedUtf8File(path, Links::Refuse, lineCount, bytes)) {
                if (std::optional<NarcEntry> composed = composeEntryUtf8(current(), *utf8, s)) {
                    changed = std::move(*composed);
                    ++summary.sectionsChanged;
                    continue;
                }
            }
            const Result<QString> read = readEditedTextFile(path, Links::Refuse, lineCount);
            if (!read) {
                ++summary.filesFailed;
                observer.report(importFailedLine(path, read.reason));
                continue;
            }

            ComposeResult result = composeEntry(changed ? *changed : original.toEntry(), read.value, s);
            if (result.changed()) {
                changed = std::move(result.entry);
                ++summary.sectionsChanged;
            } else if (result.reason.kind != TextRefusal::Kind::NoSuchSection) {
                ++summary.sectionsSkipped;
                observer.report(composeRefusedLine(i, s, result.reason));
            }
        }
        // Bytes equal to the original change nothing and keep its memory.
        if (changed)
            entries.replace(std::move(*changed));
    }
    // Text for entries the archive does not have would be lost without a word.
    for (int s = 0; s < 2; ++s) {
        for (const int entry : listing.value[s].beyond) {
            ++summary.sectionsSkipped;
            observer.report(noSuchEntryLine(entry, s));
        }
    }

    summary.finished = true;
    observer.status(importFinishedStatus());
    observer.note(importFinishedFromDirectoryLine(root));
    return summary;
}

} // namespace core
