#include "tree/exporttree.h"

#include "report/lines.h"
#include "codec/utf8text.h"
#include "tree/layout.h"
#include "codec/decode.h"
#include "io/regularfile.h"
#include "io/savefile.h"

#include <QFile>
#include <QFileInfo>

namespace core {

namespace {

enum class TreeWrite { Written, Failed, NothingToDo };

// Writes `bytes` as the whole content of `path`. Empty text only empties a file
// that is already there, so a section emptied since an earlier export leaves no
// stale text behind, and a tree gains no files for empty sections. A symbolic
// link, device or FIFO in the tree is refused, never written through or waited
// on: a tree received from someone else must not make the export write anywhere
// else.
TreeWrite writeTreeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const QFileInfo info(path);
    if (bytes.isEmpty() && !info.exists() && !info.isSymLink())
        return TreeWrite::NothingToDo;
    QFile file;
    if (!createRegularFile(file, path, Links::Refuse, error))
        return TreeWrite::Failed;
    if (!writeAllBytes(file, bytes.constData(), bytes.size(), error))
        return TreeWrite::Failed;
    if (!file.flush()) {
        *error = file.errorString();
        return TreeWrite::Failed;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return TreeWrite::Failed;
    }
    return TreeWrite::Written;
}

} // namespace

BulkSummary exportToTree(const Narc &narc, const QString &chosenPath, BulkObserver &observer)
{
    BulkSummary summary;
    const QString root = treeRoot(chosenPath);
    const int count = int(narc.files.size());
    observer.begin(count);
    observer.status(exportingStatus());
    if (!treeExists(root)) {
        observer.report(exportTreeMissingLine(root));
        summary.refused = true;
        return summary;
    }
    observer.note(exportingToDirectoryLine(root));

    QByteArray bytes; // reused for every file
    for (int i = 0; i < count; ++i) {
        observer.progress(i);
        for (int s = 0; s < 2; ++s) {
            const QString path = treeFilePath(root, i, s);
            const DecodedSection decoded = decodeMessageSection(narc.files.at(i), s, DecodeForm::Text);
            if (!decoded.ok()) {
                // Whatever the file holds stays: an empty file would say the
                // section is empty, and an import could not store it anyway.
                ++summary.sectionsUnreadable;
                observer.report(exportFailedLine(path, sectionCannotBeDecodedReason(decoded.reason)));
                continue;
            }
            if (!decoded.present)
                continue; // a section the entry does not have: its file is not touched
            bytes.resize(0);
            appendSectionText(bytes, decoded.text);
            QString error;
            switch (writeTreeFile(path, bytes, &error)) {
            case TreeWrite::Written:
                ++summary.filesWritten;
                break;
            case TreeWrite::Failed:
                ++summary.filesFailed;
                observer.report(exportFailedLine(path, error));
                break;
            case TreeWrite::NothingToDo:
                break;
            }
        }
    }

    summary.finished = true;
    observer.status(exportFinishedStatus());
    return summary;
}

} // namespace core
