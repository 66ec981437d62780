#include "bulk/exportfile.h"

#include "bulk/sectiontext.h"
#include "codec/decode.h"
#include "narc/savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>

namespace core {

namespace {

// Bytes collected before they go to the file.
constexpr qsizetype chunkSize = 1 << 20;

void appendHeader(QByteArray &out, int entry)
{
    out += "****Entry ";
    out += QByteArray::number(entry);
    out += ":\n";
}

void appendSectionHeader(QByteArray &out, int entry, int section)
{
    out += "****Entry ";
    out += QByteArray::number(entry);
    out += ": Section ";
    out += QByteArray::number(section);
    out += ":\n";
}

// The file the export goes to. A regular file (or a new one) is written through
// QSaveFile, so a failed export leaves whatever was there before. Anything else
// that exists under the name (a device, a pipe, a directory) is opened as it is,
// as a plain write would, and a read-only file is refused as a plain open would.
std::unique_ptr<QFileDevice> openTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        auto file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::WriteOnly))
            return nullptr;
        return file;
    }
    if (info.exists() && !info.isWritable())
        return nullptr;
    auto file = std::make_unique<QSaveFile>(path);
    // A writable file in a directory that takes no new files is written in place.
    file->setDirectWriteFallback(true);
    if (!file->open(QIODevice::WriteOnly))
        return nullptr;
    return file;
}

bool writeAll(QFileDevice &file, const QByteArray &bytes)
{
    return bytes.isEmpty() || file.write(bytes) == bytes.size();
}

bool finish(QFileDevice &file)
{
    if (auto *saveFile = qobject_cast<QSaveFile *>(&file))
        return commitSaveFile(*saveFile);
    if (!file.flush())
        return false;
    file.close();
    return file.error() == QFileDevice::NoError;
}

} // namespace

BulkSummary exportToFile(const Narc &narc, const QString &path, BulkObserver &observer)
{
    BulkSummary summary;
    const int count = int(narc.files.size());
    observer.begin(count);
    observer.status(QStringLiteral("Exporting: "));
    observer.report(QStringLiteral("Exporting to file ") + path);

    const QString failure = QStringLiteral("Failed to export to file ") + path;
    std::unique_ptr<QFileDevice> file = openTarget(path);
    if (!file) {
        observer.report(failure);
        summary.filesFailed = 1;
        return summary;
    }

    QByteArray buffer;
    buffer.reserve(chunkSize + chunkSize / 4);
    for (int i = 0; i < count; ++i) {
        appendHeader(buffer, i);
        observer.progress(i);
        for (int s = 0; s < 2; ++s) {
            appendSectionHeader(buffer, i, s);
            const DecodedSection decoded = decodeMessageSection(narc.files.at(i), s);
            if (!decoded.error.isEmpty()) {
                ++summary.sectionsUnreadable;
                observer.report(QStringLiteral("Cannot decode section %1 of entry %2: %3")
                                    .arg(s)
                                    .arg(i)
                                    .arg(decoded.error));
            }
            bulk::appendSectionText(buffer, decoded.lines);
        }
        if (buffer.size() >= chunkSize) {
            if (!writeAll(*file, buffer)) {
                observer.report(failure);
                summary.filesFailed = 1;
                return summary; // an unfinished QSaveFile is discarded
            }
            buffer.resize(0);
        }
    }
    if (!writeAll(*file, buffer) || !finish(*file)) {
        observer.report(failure);
        summary.filesFailed = 1;
        return summary;
    }

    summary.filesWritten = 1;
    summary.finished = true;
    observer.status(QStringLiteral("Finished Exporting!"));
    return summary;
}

} // namespace core
