#include "bulk/importtree.h"

#include "bulk/exporttree.h"
#include "bulk/sectiontext.h"
#include "codec/compose.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <utility>

namespace core {

namespace {

struct TreeRead
{
    enum class Status { Ok, Missing, Failed };
    Status status = Status::Failed;
    QString text;
    QString reason; // why a file that is there gave no text; may be empty
};

// The text of the file at `path`. A byte order mark picks UTF-16 or UTF-32 and
// is dropped, as is a UTF-8 one; anything else is read as UTF-8. Bytes that are
// not valid in the encoding give no text at all rather than replacement
// characters that would then be stored in the archive.
TreeRead readTreeFile(const QString &path)
{
    TreeRead read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.status = QFileInfo::exists(path) ? TreeRead::Status::Failed : TreeRead::Status::Missing;
        return read;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        read.reason = file.errorString();
        return read;
    }

    const QStringConverter::Encoding encoding =
        QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8);
    // Stateless: a sequence cut off at the end of the file counts as invalid.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    read.text = decoder.decode(bytes);
    bool valid = !decoder.hasError();
    if (valid && encoding != QStringConverter::Utf8) {
        // The UTF-16 and UTF-32 decoders let an odd trailing byte and unpaired
        // surrogates through without flagging them.
        const bool utf32 = encoding == QStringConverter::Utf32 || encoding == QStringConverter::Utf32LE
                           || encoding == QStringConverter::Utf32BE;
        const int unitSize = utf32 ? 4 : 2;
        valid = bytes.size() % unitSize == 0 && read.text.isValidUtf16();
    }
    if (!valid) {
        read.text.clear();
        read.reason = QStringLiteral("not valid ") + QLatin1String(QStringConverter::nameForEncoding(encoding));
        return read;
    }
    read.status = TreeRead::Status::Ok;
    return read;
}

} // namespace

BulkSummary importFromTree(Narc &narc, const QString &chosenPath, BulkObserver &observer)
{
    BulkSummary summary;
    const QString root = treeRoot(chosenPath);
    const int count = int(narc.files.size());
    observer.begin(count);
    observer.status(QStringLiteral("Importing: "));
    if (!bulk::treeExists(root)) {
        observer.report(QStringLiteral("Failed to import. Either 0000 or 0001 does not exist in ") + root);
        summary.treeOk = false;
        return summary;
    }
    observer.report(QStringLiteral("Importing from directory ") + root);

    for (int i = 0; i < count; ++i) {
        observer.progress(i);
        for (int s = 0; s < 2; ++s) {
            observer.sectionChanged(s);
            const QString path = treeFilePath(root, i, s);
            const TreeRead read = readTreeFile(path);
            if (read.status != TreeRead::Status::Ok) {
                if (read.status == TreeRead::Status::Missing)
                    ++summary.filesMissing;
                else
                    ++summary.filesFailed;
                QString line = QStringLiteral("Failed to import from file: ") + path;
                if (!read.reason.isEmpty())
                    line += QStringLiteral(" (") + read.reason + QLatin1Char(')');
                observer.report(line);
                continue;
            }

            ComposeResult result = composeEntry(narc.files.at(i), read.text, i, s);
            if (result.changed()) {
                narc.files[i] = std::move(result.entry);
                ++summary.sectionsChanged;
            } else if (result.status != ComposeResult::Status::NoSuchSection) {
                ++summary.sectionsSkipped;
            }
            if (!result.report.isEmpty())
                observer.report(result.report);
        }
    }

    summary.finished = true;
    observer.status(QStringLiteral("Finished Importing!"));
    observer.report(QStringLiteral("Finished importing from directory ") + root);
    return summary;
}

} // namespace core
