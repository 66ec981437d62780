#include "onefile/exportfile.h"

#include "codec/decode.h"
#include "io/savefile.h"
#include "report/lines.h"

#include <QFileDevice>

#include <memory>

namespace core {

namespace {

// Bytes collected before they go to the file.
constexpr qsizetype chunkSize = 256 << 10;

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

Status writeAll(QFileDevice &file, const QByteArray &bytes)
{
    return writeAllBytes(file, bytes.constData(), bytes.size());
}

} // namespace

BulkSummary exportToFile(const Narc &narc, const QString &path, const FileIdentity &archive, BulkObserver &observer)
{
    HeldEntries entries(narc);
    return exportToFile(entries, path, archive, observer);
}

BulkSummary exportToFile(EntrySource &entries, const QString &path, const FileIdentity &archive, BulkObserver &observer)
{
    BulkSummary summary;
    const Result<bool> overArchive = namesFile(path, archive);
    if (!overArchive || overArchive.value) {
        observer.report(exportFailedLine(path, overArchive ? archiveBeingEditedReason() : overArchive.reason));
        summary.refused = true;
        return summary;
    }
    const int count = entries.count();
    observer.begin(count);
    observer.status(exportingStatus());
    const QString name = outputName(path);
    observer.note(exportingToFileLine(name));

    Status written;
    const auto failed = [&]() {
        observer.report(exportFailedLine(name, written.reason));
        summary.filesFailed = 1;
        return summary; // an unfinished QSaveFile is discarded, the old file stays
    };
    Result<std::unique_ptr<QFileDevice>> opened = openOutputFile(path);
    if (!opened) {
        written = opened.status();
        return failed();
    }
    QFileDevice *file = opened.value.get();

    QByteArray buffer;
    buffer.reserve(chunkSize + chunkSize / 4);
    const Status read = entries.forEach([&](int i, EntryView entry) {
        appendHeader(buffer, i);
        observer.progress(i);
        for (int s = 0; s < 2; ++s) {
            appendSectionHeader(buffer, i, s);
            const SectionRead decoded = appendSectionUtf8(buffer, entry, s);
            if (!decoded.ok()) {
                ++summary.sectionsUnreadable;
                observer.report(cannotDecodeLine(i, s, decoded.reason));
            }
        }
        if (buffer.size() >= chunkSize) {
            written = writeAll(*file, buffer);
            if (!written)
                return false;
            buffer.resize(0);
        }
        return true;
    });
    if (!read) {
        // The archive could not be read to its end (the caller that opened it
        // says why): nothing of it is kept.
        cancelWholeFile(*file);
        summary.refused = true;
        return summary;
    }
    if (!written)
        return failed();
    written = writeAll(*file, buffer);
    if (written)
        written = commitWholeFile(*file);
    if (!written)
        return failed();

    summary.filesWritten = 1;
    summary.finished = true;
    observer.status(exportFinishedStatus());
    return summary;
}

} // namespace core
