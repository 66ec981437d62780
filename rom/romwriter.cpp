#include "rom/romwriter.h"

#include "io/filecopy.h"
#include "rom/romheader.h"

#include <QFileDevice>
#include <QtEndian>

namespace core {

Status writeRomImage(QFileDevice &source, QFileDevice &target, const RomFileSystem &fs, const RomPlacement &placement,
                     const QByteArray &bytes)
{
    if (bytes.size() != qint64(placement.end) - placement.start)
        return Status::failure(QStringLiteral("the bytes do not match the room planned for them"));
    const int in = source.handle();
    const int out = target.handle();
    if (in < 0 || out < 0)
        return Status::failure(QStringLiteral("the image is not open as a file"));
    if (source.size() != fs.imageSize)
        return Status::failure(QStringLiteral("the image changed size since its file system was read"));

    Status status = copyFileStart(in, out, fs.imageSize);
    // Past the end of the image: padding up to the file's new start.
    const qint64 gap = qint64(placement.start) - fs.imageSize;
    if (status && gap > 0) {
        const QByteArray padding(qsizetype(qMin<qint64>(gap, 1 << 20)), char(0xFF));
        for (qint64 at = fs.imageSize; status && at < placement.start; at += padding.size())
            status = writeFileAt(out, at, padding.constData(), qMin<qint64>(padding.size(), placement.start - at));
    }
    if (status)
        status = writeFileAt(out, placement.start, bytes.constData(), bytes.size());
    if (status) {
        char entry[8];
        qToLittleEndian(placement.start, entry);
        qToLittleEndian(placement.end, entry + 4);
        const qint64 at = qint64(romField32(fs.header, romfield::allocationTableOffset)) + 8 * qint64(placement.id);
        status = writeFileAt(out, at, entry, sizeof entry);
    }
    if (status) {
        const QByteArray header = placedRomHeader(fs, placement);
        status = writeFileAt(out, 0, header.constData(), header.size());
    }
    return status;
}

} // namespace core
