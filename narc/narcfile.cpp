#include "narc/narcfile.h"

#include "io/regularfile.h"
#include "io/savefile.h"
#include "narc/entrysource.h"

#include <QFile>
#include <QSaveFile>

namespace core {

namespace {

// Runs `read` on the archive open in `file`; the reason of a refusal names a
// file that cannot be read rather than what the reader saw.
template <typename Read>
auto readArchiveFile(QFile &file, const Read &read)
{
    auto result = read(file);
    if (!result.ok() && file.error() != QFileDevice::NoError)
        result.reason = QStringLiteral("cannot read the file (%1)").arg(file.errorString());
    return result;
}

} // namespace

Status openNarcFile(QFile &file, const QString &path)
{
    const Status opened = openRegularFile(file, path, Links::Follow);
    if (!opened)
        return Status::failure(QStringLiteral("cannot open the file (%1)").arg(opened.reason));
    return opened;
}

Result<Narc> loadNarcFile(QFile &file)
{
    if (!file.seek(0))
        return Result<Narc>::failure(QStringLiteral("cannot read the file (%1)").arg(file.errorString()));
    return readArchiveFile(file, [](QFile &device) { return readNarc(&device); });
}

Result<Narc> loadNarcFile(const QString &path)
{
    QFile file;
    const Status opened = openNarcFile(file, path);
    if (!opened)
        return Result<Narc>::failure(opened.reason);
    return loadNarcFile(file);
}

Status loadNarcFileEntries(const QString &path, const EntryVisitor &visit)
{
    QFile file;
    const Status opened = openNarcFile(file, path);
    if (!opened)
        return opened;
    return readArchiveFile(file, [&](QFile &device) { return readNarcEntries(&device, visit); });
}

Status saveNarcFile(Narc &narc, const QString &path, const ReplaceOptions &options)
{
    HeldEntries held(narc);
    return saveNarcFile(
        narc, held, [&narc](qsizetype i) { return qint64(narc.files.at(i).size()); }, path, options);
}

Status saveNarcFile(Narc &head, EntrySource &entries, const std::function<qint64(qsizetype)> &lengthOf,
                    const QString &path, const ReplaceOptions &options)
{
    // Checked before the target is opened: a layout that does not fit leaves
    // not even a temporary file behind.
    const Status laidOut = head.recomputeLayout(entries.count(), lengthOf);
    if (!laidOut)
        return laidOut;
    Result<std::unique_ptr<QFileDevice>> file = openWholeFile(path);
    if (!file)
        return file.status();
    const Status written = head.writeTo(file.value.get(), 0, entries, lengthOf);
    if (!written) {
        if (auto *saveFile = qobject_cast<QSaveFile *>(file.value.get()))
            saveFile->cancelWriting();
        return written;
    }
    return commitWholeFile(*file.value, options);
}

} // namespace core
