#include "narc/narcstream.h"

#include <QBuffer>
#include <QIODevice>
#include <QtEndian>

#include <cstring>
#include <new>

namespace core {

struct NarcStream::Reader
{
    static constexpr qint64 chunkBytes = 256 << 10;

    QIODevice *device = nullptr;
    qint64 origin = 0; // where the archive starts on the device
    qint64 total = 0;  // bytes from there to the end of the device
    // A pipe, read whole: the device reads from these bytes.
    std::unique_ptr<QByteArray> piped;
    std::unique_ptr<QBuffer> pipedDevice;

    QByteArray head;  // bytes [0, head.size()) of the archive, as far as the tables go
    QByteArray chunk; // bytes [chunkStart, chunkStart + chunk.size()) of the archive
    qint64 chunkStart = 0;
    QByteArray large; // an entry too large for the chunk

    Narc layout;
    qint64 dataOffset = 0; // where the image block's data starts
    quint32 nextIndex = 0;
    QString failure;

    void attach(QIODevice *from, qint64 length)
    {
        device = from;
        origin = from->pos();
        total = qMax<qint64>(0, from->size() - origin);
        if (length >= 0)
            total = qMin(total, length);
    }

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
    quint32 u32At(qint64 offset) const { return qFromLittleEndian<quint32>(at(offset)); }
    quint16 u16At(qint64 offset) const { return qFromLittleEndian<quint16>(at(offset)); }
    bool tagAt(qint64 offset, const char *tag) { return ensure(offset + 4) && std::memcmp(at(offset), tag, 4) == 0; }

    bool readAt(qint64 offset, char *data, qint64 length)
    {
        if (device->pos() != origin + offset && !device->seek(origin + offset))
            return false;
        return device->read(data, length) == length;
    }

    // Bytes [start, end) of the archive, end <= total; false when they cannot be read.
    bool entry(qint64 start, qint64 end, EntryView *out)
    {
        const qint64 length = end - start;
        if (start < chunkStart || end > chunkStart + chunk.size()) {
            if (length >= chunkBytes) {
                large.resize(length);
                if (!readAt(start, large.data(), length))
                    return false;
                *out = EntryView(large.constData(), length);
                return true;
            }
            const qint64 want = qMin(chunkBytes, total - start);
            chunk.resize(want);
            if (!readAt(start, chunk.data(), want)) {
                chunk.clear();
                return false;
            }
            chunkStart = start;
        }
        *out = EntryView(chunk.constData() + (start - chunkStart), length);
        return true;
    }

    Status refuse(const QString &reason) { return Status::failure(reason); }
    Status readLayout();
};

Status NarcStream::Reader::readLayout()
{
    const qint64 size = total;
    if (size > maxArchiveBytes)
        return refuse(QStringLiteral("it is %1 bytes, larger than an archive can be (4 GiB)").arg(size));
    constexpr qint64 headerBytes = 16;
    constexpr qint64 fatOffset = 0x10;

    if (!tagAt(0, "NARC"))
        return refuse(QStringLiteral("does not start with the tag NARC"));
    if (!ensure(headerBytes))
        return refuse(QStringLiteral("the header is cut short"));

    Narc &narc = layout;
    narc.magic = qint32(u32At(0));
    narc.byteOrder = qint16(u16At(4));
    narc.version = qint16(u16At(6));
    narc.fileSize = qint32(u32At(8));
    narc.headerSize = qint16(u16At(12));
    narc.blockCount = qint16(u16At(14));
    if (quint16(narc.headerSize) != headerBytes)
        return refuse(QStringLiteral("header size is %1, not 16").arg(quint16(narc.headerSize)));

    // Allocation table: tag, size, count, then a start and an end per entry.
    if (!tagAt(fatOffset, "BTAF"))
        return refuse(QStringLiteral("no allocation table (BTAF) at 0x10"));
    if (!ensure(fatOffset + 12))
        return refuse(QStringLiteral("the allocation table is cut short"));
    narc.fatTag = qint32(u32At(fatOffset));
    narc.fatSize = qint32(u32At(fatOffset + 4));
    narc.fileCount = u32At(fatOffset + 8);
    const qint64 fatSize = quint32(narc.fatSize);
    const qint64 tableBytes = 12 + 8 * qint64(narc.fileCount);
    if (fatOffset + fatSize > size)
        return refuse(QStringLiteral("the allocation table's size points past the end of the file"));
    if (tableBytes > fatSize)
        return refuse(QStringLiteral("the allocation table holds fewer than its %1 entries").arg(narc.fileCount));

    // Name table, right after the allocation table; kept whole.
    const qint64 fntOffset = fatOffset + fatSize;
    if (!tagAt(fntOffset, "BTNF"))
        return refuse(QStringLiteral("no name table (BTNF) after the allocation table"));
    if (!ensure(fntOffset + 8))
        return refuse(QStringLiteral("the name table is cut short"));
    narc.fntTag = qint32(u32At(fntOffset));
    narc.fntSize = qint32(u32At(fntOffset + 4));
    const qint64 fntSize = quint32(narc.fntSize);
    if (fntSize < 8 || !ensure(fntOffset + fntSize))
        return refuse(QStringLiteral("the name table's size points outside the file"));
    narc.fntContent = QByteArray(reinterpret_cast<const char *>(at(fntOffset + 8)), fntSize - 8);

    // Image block, right after the name table.
    const qint64 imgOffset = fntOffset + fntSize;
    if (!tagAt(imgOffset, "GMIF"))
        return refuse(QStringLiteral("no image block (GMIF) after the name table"));
    if (!ensure(imgOffset + 8))
        return refuse(QStringLiteral("the image block is cut short"));
    narc.imgTag = qint32(u32At(imgOffset));
    narc.imgSize = qint32(u32At(imgOffset + 4));
    dataOffset = imgOffset + 8;
    const qint64 dataBytes = size - dataOffset;

    // The table was checked to fit inside the file above, so the count is bounded
    // by the input's size. Every entry is read from its own start. Entries may
    // not share bytes: together they fit in the image block, so what is held in
    // memory never exceeds the file.
    narc.fileStarts.resize(qsizetype(narc.fileCount));
    narc.fileEnds.resize(qsizetype(narc.fileCount));
    qint64 entryBytes = 0;
    for (quint32 i = 0; i < narc.fileCount; ++i) {
        const quint32 start = u32At(fatOffset + 12 + 8 * qint64(i));
        const quint32 end = u32At(fatOffset + 16 + 8 * qint64(i));
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
    // The head is needed no longer: the entries come through the chunk.
    head = QByteArray();
    return Status::success();
}

NarcStream::NarcStream()
    : d(std::make_unique<Reader>())
{
}
NarcStream::~NarcStream() = default;
NarcStream::NarcStream(NarcStream &&other) noexcept = default;
NarcStream &NarcStream::operator=(NarcStream &&other) noexcept = default;

namespace {

Result<NarcStream> refuseStream(const QString &reason)
{
    return Result<NarcStream>::failure(reason);
}

} // namespace

Result<NarcStream> NarcStream::open(QIODevice *device, qint64 length)
{
    // Sizes come from the file: an archive or a table too large for the memory
    // left is refused like any other.
    try {
        NarcStream stream;
        Reader &reader = *stream.d;
        if (device->isSequential()) {
            // A pipe cannot seek: take what it holds, one byte more than an
            // archive can be so that a larger input is refused rather than cut,
            // then read that from memory.
            auto bytes = std::make_unique<QByteArray>();
            constexpr qint64 step = 1 << 20;
            const qint64 bound = length >= 0 ? qMin(length, maxArchiveBytes + 1) : maxArchiveBytes + 1;
            while (bytes->size() < bound) {
                const QByteArray more = device->read(qMin(step, bound - bytes->size()));
                if (more.isEmpty() && !device->waitForReadyRead(-1))
                    break;
                *bytes += more;
            }
            if (bytes->size() > maxArchiveBytes)
                return refuseStream(QStringLiteral("it holds more than 4 GiB, larger than an archive can be"));
            reader.piped = std::move(bytes);
            reader.pipedDevice = std::make_unique<QBuffer>(reader.piped.get());
            reader.pipedDevice->open(QIODevice::ReadOnly);
            device = reader.pipedDevice.get();
        }
        reader.attach(device, length);
        const Status read = reader.readLayout();
        if (!read)
            return refuseStream(read.reason);
        return Result<NarcStream>::success(std::move(stream));
    } catch (const std::bad_alloc &) {
        return refuseStream(QStringLiteral("not enough memory"));
    }
}

const Narc &NarcStream::layout() const
{
    return d->layout;
}

int NarcStream::count() const
{
    return int(d->layout.fileStarts.size());
}

void NarcStream::rewind()
{
    if (d->failure.isEmpty())
        d->nextIndex = 0;
}

bool NarcStream::next(EntryView *entry)
{
    Reader &reader = *d;
    if (!reader.failure.isEmpty() || reader.nextIndex >= quint32(reader.layout.fileStarts.size()))
        return false;
    const quint32 i = reader.nextIndex;
    bool read = false;
    try {
        read = reader.entry(reader.dataOffset + reader.layout.fileStarts.at(i),
                            reader.dataOffset + reader.layout.fileEnds.at(i), entry);
    } catch (const std::bad_alloc &) {
        reader.failure = QStringLiteral("not enough memory");
        return false;
    }
    if (!read) {
        reader.failure = QStringLiteral("entry %1 cannot be read").arg(i);
        return false;
    }
    ++reader.nextIndex;
    return true;
}

QString NarcStream::failure() const
{
    return d->failure;
}

} // namespace core
