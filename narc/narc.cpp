#include "narc/narc.h"

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

void appendU16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void appendU32(QByteArray &out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// Everything before the entry data: header, allocation table, name table and
// the image block's head.
QByteArray headBytes(const Narc &narc)
{
    QByteArray out;
    out.reserve(16 + narc.fatSize + 8 + narc.fntContent.size() + 8);
    appendU32(out, quint32(narc.magic));
    appendU16(out, quint16(narc.byteOrder));
    appendU16(out, quint16(narc.version));
    appendU32(out, quint32(narc.fileSize));
    appendU16(out, quint16(narc.headerSize));
    appendU16(out, quint16(narc.blockCount));
    appendU32(out, quint32(narc.fatTag));
    appendU32(out, quint32(narc.fatSize));
    appendU32(out, narc.fileCount);
    for (quint32 i = 0; i < narc.fileCount; ++i) {
        appendU32(out, quint32(narc.fileStarts[i]));
        appendU32(out, quint32(narc.fileEnds[i]));
    }
    appendU32(out, quint32(narc.fntTag));
    appendU32(out, quint32(narc.fntSize));
    out.append(narc.fntContent);
    appendU32(out, quint32(narc.imgTag));
    appendU32(out, quint32(narc.imgSize));
    return out;
}

bool writeAll(QIODevice *device, const char *data, qint64 length, QString *error)
{
    if (length == 0)
        return true;
    if (device->write(data, length) == length)
        return true;
    if (error)
        *error = device->errorString();
    return false;
}

} // namespace

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

Narc::Narc(QIODevice *device, quint32 position, QString *error)
{
    NarcRead read = device->seek(qint64(position)) ? readNarc(device) : readNarc(QByteArray());
    if (read.ok())
        *this = std::move(read.narc);
    if (error)
        *error = read.error;
}

void Narc::recomputeLayout()
{
    fileStarts.clear();
    fileEnds.clear();
    fileStarts.reserve(qsizetype(fileCount));
    fileEnds.reserve(qsizetype(fileCount));
    quint32 offset = 0;
    for (quint32 i = 0; i < fileCount; ++i) {
        const qsizetype length = files[i].size();
        fileStarts.append(int(offset));
        offset += quint32(length);
        fileEnds.append(int(offset));
        offset += quint32(paddingFor(length));
    }
    imgSize = qint32(offset + 8);
    fatSize = qint32(12 + 8 * fileCount);
    fileSize = qint32(quint32(quint16(headerSize)) + quint32(fatSize) + quint32(fntSize) + quint32(imgSize));
}

bool Narc::writeTo(QIODevice *device, quint32 position, QString *error)
{
    recomputeLayout();
    if (!device->seek(qint64(position))) {
        if (error)
            *error = device->errorString();
        return false;
    }
    // Entries are gathered into large chunks: a few big writes cost far less
    // than one or two small ones per entry.
    constexpr qsizetype chunkSize = 1 << 20;
    QByteArray chunk = headBytes(*this);
    chunk.reserve(qMax(chunk.size(), qMin(chunkSize, qsizetype(quint32(fileSize)))) + 4);
    for (quint32 i = 0; i < fileCount; ++i) {
        const NarcEntry &entry = files[i];
        if (chunk.size() + entry.size() > chunkSize) {
            if (!writeAll(device, chunk.constData(), chunk.size(), error))
                return false;
            chunk.resize(0);
        }
        if (entry.size() >= chunkSize) {
            if (!writeAll(device, entry.constData(), entry.size(), error))
                return false;
        } else {
            chunk.append(entry.constData(), entry.size());
        }
        chunk.append(paddingFor(entry.size()), '\0');
    }
    if (!writeAll(device, chunk.constData(), chunk.size(), error))
        return false;
    if (error)
        error->clear();
    return true;
}

QDataStream &operator>>(QDataStream &stream, Narc &narc)
{
    QIODevice *device = stream.device();
    NarcRead read = readNarc(device ? device->readAll() : QByteArray());
    narc = read.ok() ? std::move(read.narc) : Narc();
    if (!read.ok())
        stream.setStatus(QDataStream::ReadCorruptData);
    return stream;
}

QDataStream &operator<<(QDataStream &stream, Narc &narc)
{
    QIODevice *device = stream.device();
    if (!device || !narc.writeTo(device, quint32(device->pos())))
        stream.setStatus(QDataStream::WriteFailed);
    return stream;
}

} // namespace core
