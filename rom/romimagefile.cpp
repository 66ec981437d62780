#include "rom/romimagefile.h"

#include "io/regularfile.h"
#include "io/savefile.h"
#include "rom/romwriter.h"

#include <QFile>
#include <QSaveFile>

namespace core {

namespace {

// The image at `path` opened in `file`, and its file system.
Result<RomFileSystem> openImage(QFile &file, const QString &path)
{
    const Status opened = openRegularFile(file, path, Links::Follow);
    if (!opened)
        return Result<RomFileSystem>::failure(QStringLiteral("cannot open the file (%1)").arg(opened.reason));
    Result<RomFileSystem> read = readRomFileSystem(&file);
    if (!read && file.error() != QFileDevice::NoError)
        read.reason = QStringLiteral("cannot read the file (%1)").arg(file.errorString());
    return read;
}

} // namespace

Result<RomFileSystem> loadRomFileSystem(const QString &path)
{
    QFile file;
    return openImage(file, path);
}

Result<QByteArray> loadRomMember(const RomMemberName &name)
{
    QFile file;
    const Result<RomFileSystem> fs = openImage(file, name.imagePath);
    if (!fs)
        return Result<QByteArray>::failure(fs.reason);
    const Result<int> id = findRomMember(fs.value, name);
    if (!id)
        return Result<QByteArray>::failure(id.reason);
    return readRomFile(&file, fs.value, id.value);
}

Result<RomPlacement> replaceRomMember(const RomMemberName &name, const QByteArray &bytes)
{
    QFile source;
    const Status opened = openRegularFile(source, name.imagePath, Links::Follow);
    if (!opened)
        return Result<RomPlacement>::failure(QStringLiteral("cannot open the file (%1)").arg(opened.reason));
    return replaceRomMember(source, name, bytes, {});
}

Result<RomPlacement> replaceRomMember(QFile &image, const RomMemberName &name, const QByteArray &bytes,
                                      const ReplaceOptions &options)
{
    using Replaced = Result<RomPlacement>;
    Result<RomFileSystem> fs = readRomFileSystem(&image);
    if (!fs && image.error() != QFileDevice::NoError)
        fs.reason = QStringLiteral("cannot read the file (%1)").arg(image.errorString());
    if (!fs)
        return Replaced::failure(fs.reason);
    const Result<int> id = findRomMember(fs.value, name);
    if (!id)
        return Replaced::failure(id.reason);
    const Result<qint64> room = findRomRoom(&image, fs.value, bytes.size());
    if (!room)
        return Replaced::failure(room.reason);
    const Replaced placement = placeRomFile(fs.value, id.value, bytes.size(), room.value);
    if (!placement)
        return placement;

    QSaveFile target(name.imagePath);
    // Never written in place: a failed write would leave the image cut short.
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Replaced::failure(target.errorString());
    const Status written = writeRomImage(image, target, fs.value, placement.value, bytes);
    if (!written) {
        target.cancelWriting();
        return Replaced::failure(written.reason);
    }
    const Status committed = commitWholeFile(target, options);
    if (!committed)
        return Replaced::failure(committed.reason);
    return placement;
}

} // namespace core
