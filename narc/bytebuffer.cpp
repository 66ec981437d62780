#include "narc/bytebuffer.h"

#include <QtEndian>

namespace core {

ByteBuffer::ByteBuffer(const QVector<char> &source)
    : bytes(source)
{
}

bool ByteBuffer::fits(qint64 width) const
{
    return pos >= 0 && width >= 0 && qint64(pos) + width <= qint64(bytes.size());
}

namespace {

// Reads a `T` little-endian at the cursor, or yields 0 and fails.
template <typename T>
T readLittleEndian(ByteBuffer &buffer)
{
    if (!buffer.fits(qint64(sizeof(T)))) {
        buffer.ok = false;
        return 0;
    }
    const T value = qFromLittleEndian<T>(buffer.bytes.constData() + buffer.pos);
    buffer.pos += qint32(sizeof(T));
    return value;
}

template <typename T>
void writeLittleEndian(ByteBuffer &buffer, T value)
{
    if (!buffer.fits(qint64(sizeof(T)))) {
        buffer.ok = false;
        return;
    }
    qToLittleEndian<T>(value, buffer.bytes.data() + buffer.pos);
    buffer.pos += qint32(sizeof(T));
}

} // namespace

ByteBuffer &ByteBuffer::operator>>(quint8 &value)
{
    value = readLittleEndian<quint8>(*this);
    return *this;
}

ByteBuffer &ByteBuffer::operator>>(quint16 &value)
{
    value = readLittleEndian<quint16>(*this);
    return *this;
}

ByteBuffer &ByteBuffer::operator>>(quint32 &value)
{
    value = readLittleEndian<quint32>(*this);
    return *this;
}

ByteBuffer &ByteBuffer::operator<<(quint16 value)
{
    writeLittleEndian<quint16>(*this, value);
    return *this;
}

ByteBuffer &ByteBuffer::operator<<(quint32 value)
{
    writeLittleEndian<quint32>(*this, value);
    return *this;
}

void ByteBuffer::copyTo(QVector<char> &out) const
{
    out = bytes;
}

} // namespace core
