#include "narc/narc.h"

#include "io/savefile.h"
#include "narc/entrysource.h"
#include "narc/narcreader.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

namespace core {

namespace {

int paddingFor(qsizetype length)
{
    return int((4 - length % 4) % 4);
}

template <typename T>
void appendLittleEndian(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian<T>(value, bytes);
    out.append(bytes, qsizetype(sizeof(T)));
}

void appendU16(QByteArray &out, quint16 value)
{
    appendLittleEndian(out, value);
}

void appendU32(QByteArray &out, quint32 value)
{
    appendLittleEndian(out, value);
}

// Everything before the entry data: header, allocation table, name table and
// the image block's head.
QByteArray headBytes(const Narc &narc)
{
    QByteArray out;
    out.reserve(16 + qsizetype(quint32(narc.fatSize)) + 8 + narc.fntContent.size() + 8);
    appendU32(out, quint32(narc.magic));
    appendU16(out, quint16(narc.byteOrder));
    appendU16(out, quint16(narc.version));
    appendU32(out, quint32(narc.fileSize));
    appendU16(out, quint16(narc.headerSize));
    appendU16(out, quint16(narc.blockCount));
    appendU32(out, quint32(narc.fatTag));
    appendU32(out, quint32(narc.fatSize));
    appendU32(out, narc.fileCount);
    for (qsizetype i = 0; i < narc.fileStarts.size(); ++i) {
        appendU32(out, narc.fileStarts[i]);
        appendU32(out, narc.fileEnds[i]);
    }
    appendU32(out, quint32(narc.fntTag));
    appendU32(out, quint32(narc.fntSize));
    out.append(narc.fntContent);
    appendU32(out, quint32(narc.imgTag));
    appendU32(out, quint32(narc.imgSize));
    return out;
}

Status writeAll(QIODevice *device, const char *data, qint64 length)
{
    return writeAllBytes(*device, data, length);
}

} // namespace

NarcEntry EntryView::toEntry() const
{
    // Sized first, then one block copy: the iterator-range constructor copies
    // byte by byte.
    NarcEntry entry;
    entry.resize(m_size);
    if (m_size > 0)
        std::memcpy(entry.data(), m_data, size_t(m_size));
    return entry;
}

Narc newNarc()
{
    const auto tag = [](const char *text) { return qint32(qFromLittleEndian<quint32>(text)); };
    Narc narc;
    narc.magic = tag("NARC");
    narc.byteOrder = qint16(0xFFFE);
    narc.version = 0x0100;
    narc.headerSize = 16;
    narc.blockCount = 3;
    narc.fatTag = tag("BTAF");
    narc.fntTag = tag("BTNF");
    // One root directory whose files start at index 0.
    narc.fntContent = QByteArray("\x04\x00\x00\x00\x00\x00\x01\x00", 8);
    narc.fntSize = qint32(8 + narc.fntContent.size());
    narc.imgTag = tag("GMIF");
    narc.recomputeLayout();
    return narc;
}

Narc::Narc(QIODevice *device, quint32 position)
{
    Result<Narc> read = device->seek(qint64(position)) ? readNarc(device) : readNarc(QByteArray());
    if (read.ok())
        *this = std::move(read.value);
}

Status Narc::recomputeLayout()
{
    return recomputeLayout(files.size(), [this](qsizetype i) { return qint64(files.at(i).size()); });
}

Status Narc::recomputeLayout(qsizetype count, const std::function<qint64(qsizetype)> &lengthOf)
{
    // In 64 bits, so that a layout past the format's limit is seen, not wrapped.
    qint64 offset = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 length = lengthOf(i);
        offset += length + paddingFor(length);
    }
    const qint64 newImgSize = offset + 8;
    const qint64 newFatSize = 12 + 8 * qint64(count);
    const qint64 newFileSize = qint64(quint16(headerSize)) + newFatSize + qint64(quint32(fntSize)) + newImgSize;
    if (newFileSize > maxArchiveBytes) {
        return Status::failure(QStringLiteral("the archive would be %1 bytes, larger than the format's 32-bit sizes "
                                              "allow (4 GiB)")
                                   .arg(newFileSize));
    }

    fileStarts.resize(count);
    fileEnds.resize(count);
    quint32 start = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 length = lengthOf(i);
        fileStarts[i] = start;
        fileEnds[i] = start + quint32(length);
        start = fileEnds[i] + quint32(paddingFor(length));
    }
    fileCount = quint32(count);
    imgSize = qint32(quint32(newImgSize));
    fatSize = qint32(quint32(newFatSize));
    fileSize = qint32(quint32(newFileSize));
    return Status::success();
}

Status Narc::writeTo(QIODevice *device, quint32 position)
{
    HeldEntries held(*this);
    return writeTo(device, position, held, [this](qsizetype i) { return qint64(files.at(i).size()); });
}

Status Narc::writeTo(QIODevice *device, quint32 position, EntrySource &entries,
                     const std::function<qint64(qsizetype)> &lengthOf)
{
    const qsizetype count = entries.count();
    const Status laidOut = recomputeLayout(count, lengthOf);
    if (!laidOut)
        return laidOut;
    // A device or pipe cannot seek; it is written from where it stands.
    if (device->pos() != qint64(position) && !device->seek(qint64(position)))
        return Status::failure(device->errorString());
    // Entries are gathered into large chunks: a few big writes cost far less
    // than one or two small ones per entry.
    constexpr qsizetype chunkSize = 1 << 20;
    QByteArray chunk = headBytes(*this);
    chunk.reserve(qMax(chunk.size(), qMin(chunkSize, qsizetype(quint32(fileSize)))) + 4);
    entries.rewind();
    for (qsizetype i = 0; i < count; ++i) {
        EntryView entry;
        if (!entries.next(&entry)) {
            const QString reason = entries.failure();
            return Status::failure(reason.isEmpty() ? QStringLiteral("entry %1 cannot be read").arg(i) : reason);
        }
        if (qint64(entry.size()) != qint64(fileEnds.at(i) - fileStarts.at(i)))
            return Status::failure(QStringLiteral("entry %1 changed its length while it was written").arg(i));
        if (chunk.size() + entry.size() > chunkSize) {
            const Status written = writeAll(device, chunk.constData(), chunk.size());
            if (!written)
                return written;
            chunk.resize(0);
        }
        if (entry.size() >= chunkSize) {
            const Status written = writeAll(device, entry.constData(), entry.size());
            if (!written)
                return written;
        } else {
            chunk.append(entry.constData(), entry.size());
        }
        chunk.append(paddingFor(entry.size()), '\0');
    }
    return writeAll(device, chunk.constData(), chunk.size());
}

QDataStream &operator>>(QDataStream &stream, Narc &narc)
{
    QIODevice *device = stream.device();
    Result<Narc> read = device ? readNarc(device) : readNarc(QByteArray());
    narc = read.ok() ? std::move(read.value) : Narc();
    if (!read.ok())
        stream.setStatus(QDataStream::ReadCorruptData);
    return stream;
}

QDataStream &operator<<(QDataStream &stream, Narc &narc)
{
    QIODevice *device = stream.device();
    if (!device || !narc.writeTo(device, quint32(device->pos())).ok())
        stream.setStatus(QDataStream::WriteFailed);
    return stream;
}

} // namespace core
