#include "bulk/exporttree.h"

#include "bulk/sectiontext.h"
#include "codec/decode.h"

#include <QFile>
#include <QFileInfo>

namespace core {

namespace {

enum class TreeWrite { Written, Failed, NothingToDo };

// Writes `bytes` as the whole content of `path`. Empty text only empties a file
// that is already there, so a section emptied since an earlier export leaves no
// stale text behind, and a tree gains no files for empty sections.
TreeWrite writeTreeFile(const QString &path, const QByteArray &bytes)
{
    if (bytes.isEmpty() && !QFileInfo::exists(path))
        return TreeWrite::NothingToDo;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return TreeWrite::Failed;
    if (!bytes.isEmpty() && file.write(bytes) != bytes.size())
        return TreeWrite::Failed;
    if (!file.flush())
        return TreeWrite::Failed;
    file.close();
    return file.error() == QFileDevice::NoError ? TreeWrite::Written : TreeWrite::Failed;
}

} // namespace

QString treeRoot(const QString &chosenPath)
{
    if (chosenPath.endsWith(QLatin1Char('/')))
        return chosenPath;
    return chosenPath + QLatin1Char('/');
}

QString treeFilePath(const QString &root, int entryIndex, int section)
{
    return root + bulk::pad4(section) + QLatin1Char('/') + bulk::pad4(entryIndex) + QStringLiteral(".txt");
}

BulkSummary exportToTree(const Narc &narc, const QString &chosenPath, BulkObserver &observer)
{
    BulkSummary summary;
    const QString root = treeRoot(chosenPath);
    const int count = int(narc.files.size());
    observer.begin(count);
    observer.status(QStringLiteral("Exporting: "));
    if (!bulk::treeExists(root)) {
        observer.report(QStringLiteral("Failed to export. Either 0000 or 0001 does not exist in ") + root);
        summary.treeOk = false;
        return summary;
    }
    observer.report(QStringLiteral("Exporting to directory ") + root);

    QByteArray bytes; // reused for every file
    for (int i = 0; i < count; ++i) {
        observer.progress(i);
        for (int s = 0; s < 2; ++s) {
            const QString path = treeFilePath(root, i, s);
            const DecodedSection decoded = decodeMessageSection(narc.files.at(i), s);
            if (!decoded.error.isEmpty()) {
                // Whatever the file holds stays: an empty file would say the
                // section is empty, and an import could not store it anyway.
                ++summary.sectionsUnreadable;
                observer.report(QStringLiteral("Failed to export to file ") + path
                                + QStringLiteral(" (the section cannot be decoded: ") + decoded.error
                                + QLatin1Char(')'));
                continue;
            }
            if (!decoded.present)
                continue; // a section the entry does not have: its file is not touched
            bytes.resize(0);
            bulk::appendSectionText(bytes, decoded.lines);
            switch (writeTreeFile(path, bytes)) {
            case TreeWrite::Written:
                ++summary.filesWritten;
                break;
            case TreeWrite::Failed:
                ++summary.filesFailed;
                observer.report(QStringLiteral("Failed to export to file ") + path);
                break;
            case TreeWrite::NothingToDo:
                break;
            }
        }
    }

    summary.finished = true;
    observer.status(QStringLiteral("Finished Exporting!"));
    return summary;
}

} // namespace core
