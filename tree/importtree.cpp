#include "tree/importtree.h"

#include "tree/layout.h"
#include "report/lines.h"
#include "io/textfile.h"
#include "codec/compose.h"
#include "codec/messageheader.h"

#include <QFileInfo>

#include <utility>

namespace core {

namespace {

// How many sections `entry` has, or -1 when its head cannot be read (then its
// files are read and the composer says what is wrong). An empty entry has none.
int sectionCountOf(const NarcEntry &entry, int *lineCount)
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

bool somethingAt(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

BulkSummary importFromTree(Narc &narc, const QString &chosenPath, BulkObserver &observer)
{
    BulkSummary summary;
    const QString root = treeRoot(chosenPath);
    const int count = int(narc.files.size());
    observer.begin(count);
    observer.status(importingStatus());
    if (!treeExists(root)) {
        observer.report(importTreeMissingLine(root));
        summary.refused = true;
        return summary;
    }
    observer.note(importingFromDirectoryLine(root));

    for (int i = 0; i < count; ++i) {
        observer.progress(i);
        int lineCount = 0;
        const int sections = sectionCountOf(narc.files.at(i), &lineCount);
        for (int s = 0; s < 2; ++s) {
            observer.sectionChanged(s);
            const QString path = treeFilePath(root, i, s);
            if (sections >= 0 && s >= sections) {
                // Not looked for; but text left for it would be silently ignored.
                if (somethingAt(path)) {
                    ++summary.sectionsSkipped;
                    observer.report(noSuchSectionLine(i, s));
                }
                continue;
            }
            const TextRead read = readEditedTextFile(path, Links::Refuse, lineCount);
            if (!read.ok()) {
                if (read.status == TextRead::Status::Missing) {
                    ++summary.filesMissing;
                    observer.report(importFailedLine(path, QString()));
                } else {
                    ++summary.filesFailed;
                    observer.report(importFailedLine(path, read.reason));
                }
                continue;
            }

            ComposeResult result = composeEntry(narc.files.at(i), read.text, s);
            if (result.changed()) {
                narc.files[i] = std::move(result.entry);
                ++summary.sectionsChanged;
            } else if (result.reason.kind != TextRefusal::Kind::NoSuchSection) {
                ++summary.sectionsSkipped;
                observer.report(composeRefusedLine(i, s, result.reason));
            }
        }
    }

    summary.finished = true;
    observer.status(importFinishedStatus());
    observer.note(importFinishedFromDirectoryLine(root));
    return summary;
}

} // namespace core
