#include "narc/narcreader.h"

#include <QBuffer>
#include <QIODevice>
#include <QtEndian>

#include <cstring>
#include <new>

namespace core {

namespace {

// An entry of `length` zero bytes, allocated at its exact size. Throws
// std::bad_alloc when memory runs out: Qt's sized constructor would write
// through the null pointer it gets instead.
NarcEntry zeroedEntry(qint64 length)
{
    NarcEntry entry;
    entry.reserve(qsizetype(length));
    if (entry.capacity() < length)
        throw std::bad_alloc();
    entry.resize(qsizetype(length));
    return entry;
}

// The bytes of an archive as the reader needs them, fetched from a random-access
// device: the head as far as it goes, then the entries. Entries stored one after
// another (as every writer stores them) are read in large sequential chunks and
// copied out, with no seek and no zero-filling per entry.
class Source
{
public:
    explicit Source(QIODevice *device)
        : device(device), origin(device->pos()), total(qMax<qint64>(0, device->size() - device->pos()))
    {
    }

    qint64 size() const { return total; }

    // Makes bytes [0, end) of the archive available through at(); false when
    // the archive is shorter or the device fails.
    bool ensure(qint64 end)
    {
        if (end > total)
            return false;
        if (end <= head.size())
            return true;
        const qint64 missing = end - head.size();
        const QByteArray more = device->read(missing);
        head.append(more);
        return more.size() == missing;
    }

    const unsigned char *at(qint64 offset) const
    {
        return reinterpret_cast<const unsigned char *>(head.constData()) + offset;
    }

    // Bytes [start, end) of the archive as an entry; end <= size() was checked.
    bool entry(qint64 start, qint64 end, NarcEntry &out)
    {
        const qint64 length = end - start;
        if (start >= chunkStart && end <= chunkStart + chunk.size()) {
            // Sized at construction, then one block copy: QList's iterator-range
            // constructor copies char by char, several times slower than the read.
            out = zeroedEntry(length);
            if (length > 0)
                std::memcpy(out.data(), chunk.constData() + (start - chunkStart), size_t(length));
            return true;
        }
        if (length >= chunkBytes) {
            // Sized at construction: growing an empty vector would reserve room to spare.
            out = zeroedEntry(length);
            return readAt(start, out.data(), length);
        }
        const qint64 want = qMin(chunkBytes, total - start);
        chunk.resize(want);
        if (!readAt(start, chunk.data(), want)) {
            chunk.clear();
            return false;
        }
        chunkStart = start;
        return entry(start, end, out);
    }

private:
    static constexpr qint64 chunkBytes = 1 << 20;

    bool readAt(qint64 offset, char *data, qint64 length)
    {
        if (device->pos() != origin + offset && !device->seek(origin + offset))
            return false;
        return device->read(data, length) == length;
    }

    QByteArray head;
    QByteArray chunk; // bytes [chunkStart, chunkStart + chunk.size()) of the archive
    qint64 chunkStart = 0;
    QIODevice *device = nullptr;
    qint64 origin = 0;
    qint64 total = 0;
};

quint32 u32At(const Source &source, qint64 offset)
{
    return qFromLittleEndian<quint32>(source.at(offset));
}

quint16 u16At(const Source &source, qint64 offset)
{
    return qFromLittleEndian<quint16>(source.at(offset));
}

bool tagAt(Source &source, qint64 offset, const char *tag)
{
    return source.ensure(offset + 4) && std::memcmp(source.at(offset), tag, 4) == 0;
}

Result<Narc> refuse(const QString &reason)
{
    return Result<Narc>::failure(reason);
}

Result<Narc> read(Source &source, const EntryVisitor *visit = nullptr)
{
    const qint64 size = source.size();
    if (size > maxArchiveBytes)
        return refuse(QStringLiteral("it is %1 bytes, larger than an archive can be (4 GiB)").arg(size));
    constexpr qint64 headerBytes = 16;
    constexpr qint64 fatOffset = 0x10;

    if (!tagAt(source, 0, "NARC"))
        return refuse(QStringLiteral("does not start with the tag NARC"));
    if (!source.ensure(headerBytes))
        return refuse(QStringLiteral("the header is cut short"));

    Result<Narc> result;
    Narc &narc = result.value;
    narc.magic = qint32(u32At(source, 0));
    narc.byteOrder = qint16(u16At(source, 4));
    narc.version = qint16(u16At(source, 6));
    narc.fileSize = qint32(u32At(source, 8));
    narc.headerSize = qint16(u16At(source, 12));
    narc.blockCount = qint16(u16At(source, 14));
    if (quint16(narc.headerSize) != headerBytes)
        return refuse(QStringLiteral("header size is %1, not 16").arg(quint16(narc.headerSize)));

    // Allocation table: tag, size, count, then a start and an end per entry.
    if (!tagAt(source, fatOffset, "BTAF"))
        return refuse(QStringLiteral("no allocation table (BTAF) at 0x10"));
    if (!source.ensure(fatOffset + 12))
        return refuse(QStringLiteral("the allocation table is cut short"));
    narc.fatTag = qint32(u32At(source, fatOffset));
    narc.fatSize = qint32(u32At(source, fatOffset + 4));
    narc.fileCount = u32At(source, fatOffset + 8);
    const qint64 fatSize = quint32(narc.fatSize);
    const qint64 tableBytes = 12 + 8 * qint64(narc.fileCount);
    if (fatOffset + fatSize > size)
        return refuse(QStringLiteral("the allocation table's size points past the end of the file"));
    if (tableBytes > fatSize)
        return refuse(QStringLiteral("the allocation table holds fewer than its %1 entries").arg(narc.fileCount));

    // Name table, right after the allocation table; kept whole.
    const qint64 fntOffset = fatOffset + fatSize;
    if (!tagAt(source, fntOffset, "BTNF"))
        return refuse(QStringLiteral("no name table (BTNF) after the allocation table"));
    if (!source.ensure(fntOffset + 8))
        return refuse(QStringLiteral("the name table is cut short"));
    narc.fntTag = qint32(u32At(source, fntOffset));
    narc.fntSize = qint32(u32At(source, fntOffset + 4));
    const qint64 fntSize = quint32(narc.fntSize);
    if (fntSize < 8 || !source.ensure(fntOffset + fntSize))
        return refuse(QStringLiteral("the name table's size points outside the file"));
    narc.fntContent = QByteArray(reinterpret_cast<const char *>(source.at(fntOffset + 8)), fntSize - 8);

    // Image block, right after the name table.
    const qint64 imgOffset = fntOffset + fntSize;
    if (!tagAt(source, imgOffset, "GMIF"))
        return refuse(QStringLiteral("no image block (GMIF) after the name table"));
    if (!source.ensure(imgOffset + 8))
        return refuse(QStringLiteral("the image block is cut short"));
    narc.imgTag = qint32(u32At(source, imgOffset));
    narc.imgSize = qint32(u32At(source, imgOffset + 4));
    const qint64 dataOffset = imgOffset + 8;
    const qint64 dataBytes = size - dataOffset;

    // The table was checked to fit inside the file above, so the count is bounded
    // by the input's size. Every entry is read from its own start. Entries may
    // not share bytes: together they fit in the image block, so what is held in
    // memory never exceeds the file.
    narc.fileStarts.resize(qsizetype(narc.fileCount));
    narc.fileEnds.resize(qsizetype(narc.fileCount));
    qint64 entryBytes = 0;
    for (quint32 i = 0; i < narc.fileCount; ++i) {
        const quint32 start = u32At(source, fatOffset + 12 + 8 * qint64(i));
        const quint32 end = u32At(source, fatOffset + 16 + 8 * qint64(i));
        if (end < start)
            return refuse(QStringLiteral("entry %1 ends before it starts").arg(i));
        if (end > dataBytes)
            return refuse(QStringLiteral("entry %1 lies outside the file").arg(i));
        entryBytes += end - start;
        if (entryBytes > dataBytes) {
            return refuse(QStringLiteral("its entries overlap: entries 0 to %1 add up to %2 bytes, more than "
                                         "the %3 bytes its image block holds")
                              .arg(i)
                              .arg(entryBytes)
                              .arg(dataBytes));
        }
        narc.fileStarts[i] = start;
        narc.fileEnds[i] = end;
    }
    if (visit) {
        // One entry at a time through the same storage: nothing of the archive
        // but its tables stays in memory.
        NarcEntry current;
        for (quint32 i = 0; i < narc.fileCount; ++i) {
            if (!source.entry(dataOffset + narc.fileStarts[i], dataOffset + narc.fileEnds[i], current))
                return refuse(QStringLiteral("entry %1 cannot be read").arg(i));
            (*visit)(i, current);
        }
        return result;
    }
    narc.files.resize(qsizetype(narc.fileCount));
    for (quint32 i = 0; i < narc.fileCount; ++i) {
        if (!source.entry(dataOffset + narc.fileStarts[i], dataOffset + narc.fileEnds[i], narc.files[i]))
            return refuse(QStringLiteral("entry %1 cannot be read").arg(i));
    }
    return result;
}

} // namespace

Result<Narc> readNarc(const QByteArray &bytes)
{
    QByteArray shared = bytes;
    QBuffer buffer(&shared);
    buffer.open(QIODevice::ReadOnly);
    return readNarc(&buffer);
}

namespace {

Result<Narc> readWhole(QIODevice *device, const EntryVisitor *visit);

Result<Narc> readFrom(QIODevice *device, const EntryVisitor *visit)
{
    // Sizes come from the file: an archive or entry too large for the memory
    // left is refused like any other.
    try {
        return readWhole(device, visit);
    } catch (const std::bad_alloc &) {
        return refuse(QStringLiteral("not enough memory"));
    }
}

Result<Narc> readWhole(QIODevice *device, const EntryVisitor *visit)
{
    if (device->isSequential()) {
        // A pipe cannot seek: take what it holds, one byte more than an archive
        // can be so that a larger input is refused rather than cut, then read
        // that from memory.
        QByteArray bytes;
        constexpr qint64 step = 1 << 20;
        while (bytes.size() <= maxArchiveBytes) {
            const QByteArray more = device->read(qMin(step, maxArchiveBytes + 1 - bytes.size()));
            if (more.isEmpty() && !device->waitForReadyRead(-1))
                break;
            bytes += more;
        }
        if (bytes.size() > maxArchiveBytes)
            return refuse(QStringLiteral("it holds more than 4 GiB, larger than an archive can be"));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        return readFrom(&buffer, visit);
    }
    Source source(device);
    return read(source, visit);
}

} // namespace

Result<Narc> readNarc(QIODevice *device)
{
    return readFrom(device, nullptr);
}

Status readNarcEntries(QIODevice *device, const EntryVisitor &visit)
{
    return readFrom(device, &visit).status();
}

} // namespace core
