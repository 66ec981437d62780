#include "rom/romplacement.h"

#include "rom/romheader.h"

#include <QIODevice>
#include <QtEndian>

namespace core {

namespace {

constexpr qint64 maxRomOffset = 0xFFFFFFFFLL;

// Where the room of the non-empty file `file` ends: at whatever the image holds
// next by address, or at the end of the used area.
qint64 roomEnd(const RomFileSystem &fs, const RomFile &file)
{
    qint64 end = fs.usedEnd;
    for (const RomSpan &span : fs.occupied) {
        if (span.start > file.start) {
            end = qMin(end, span.start);
            break; // sorted by start
        }
    }
    return end;
}

// The first span of `fs.occupied` that shares a byte with [start, end), or null.
qint64 alignedUp(qint64 offset)
{
    return (offset + romFileAlignment - 1) / romFileAlignment * romFileAlignment;
}

const RomSpan *obstacle(const RomFileSystem &fs, qint64 start, qint64 end)
{
    for (const RomSpan &span : fs.occupied) {
        if (span.start < end && start < span.end)
            return &span;
    }
    return nullptr;
}

} // namespace

Result<qint64> findRomRoom(QIODevice *image, const RomFileSystem &fs, qint64 size)
{
    qint64 start = alignedUp(fs.usedEnd);
    QByteArray chunk(qsizetype(qMin<qint64>(qMax<qint64>(size, 1), 1 << 20)), Qt::Uninitialized);
    // What the image holds further on (a DSi image's DSi part) is not looked
    // at: placeRomFile refuses a file that would overlap it.
    qint64 limit = fs.imageSize;
    for (const RomSpan &span : fs.occupied) {
        if (span.start >= start) {
            limit = qMin(limit, span.start);
            break; // sorted by start
        }
    }
    qint64 at = start;
    // Every byte from `start` to `at` is padding; one that is not moves the
    // start past it. Each byte is read once.
    while (at < qMin(start + size, limit)) {
        const qint64 wanted = qMin<qint64>(chunk.size(), qMin(start + size, limit) - at);
        if (!image->seek(at) || image->read(chunk.data(), wanted) != wanted)
            return Result<qint64>::failure(QStringLiteral("cannot read the file (%1)").arg(image->errorString()));
        qint64 data = -1;
        for (qint64 i = wanted - 1; i >= 0; --i) {
            if (chunk.at(qsizetype(i)) != char(0xFF)) {
                data = at + i;
                break;
            }
        }
        if (data >= 0)
            start = alignedUp(data + 1);
        at = qMax(at + wanted, start);
    }
    return Result<qint64>::success(start);
}

Result<RomPlacement> placeRomFile(const RomFileSystem &fs, int id, qint64 size, qint64 roomStart)
{
    using Placed = Result<RomPlacement>;
    if (id < 0 || id >= fs.files.size())
        return Placed::failure(QStringLiteral("the image has no file %1").arg(id));
    const RomFile &file = fs.files.at(id);
    RomPlacement placement;
    placement.id = id;
    placement.staleDsiDigests = fs.isDsi();

    qint64 start = file.start;
    // An empty file owns no room: wherever its entry points, bytes may belong to others.
    const bool fits = size == 0 || (file.size() > 0 && start + size <= roomEnd(fs, file));
    if (!fits) {
        start = qMax(roomStart, alignedUp(fs.usedEnd));
        placement.moved = true;
    }
    const qint64 end = start + size;
    if (end > maxRomOffset) {
        return Placed::failure(QStringLiteral("%1 would end at byte %2, past the 4 GiB an image can address")
                                   .arg(fs.describe(id))
                                   .arg(end));
    }
    if (placement.moved) {
        if (const RomSpan *span = obstacle(fs, start, end)) {
            return Placed::failure(QStringLiteral("%1 does not fit before %2 (the image has no room for %3 more bytes)")
                                       .arg(fs.describe(id), span->what)
                                       .arg(size));
        }
        if (fs.dsModeEnd > 0 && end > fs.dsModeEnd) {
            return Placed::failure(QStringLiteral("%1 does not fit in the part of the image DS mode reads (%2 bytes)")
                                       .arg(fs.describe(id))
                                       .arg(fs.dsModeEnd));
        }
    }
    placement.start = quint32(start);
    placement.end = quint32(end);
    placement.usedSize = quint32(qMax<qint64>(fs.usedSizeField(), end));
    placement.capacity = romCapacityFor(placement.usedSize, fs.deviceCapacity());
    placement.imageSize = qMax(fs.imageSize, end);
    return Placed::success(placement);
}

QByteArray placedRomHeader(const RomFileSystem &fs, const RomPlacement &placement)
{
    QByteArray header = fs.header;
    setRomField32(header, romfield::usedSize, placement.usedSize);
    header[romfield::deviceCapacity] = char(placement.capacity);
    qToLittleEndian(romHeaderChecksum(header), header.data() + romfield::headerChecksum);
    return header;
}

} // namespace core
