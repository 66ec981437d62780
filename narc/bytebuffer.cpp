#include "narc/bytebuffer.h"

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

// Reads `width` bytes little-endian at the cursor, or yields 0 and fails.
quint32 readLittleEndian(ByteBuffer &buffer, int width)
{
    if (!buffer.fits(width)) {
        buffer.ok = false;
        return 0;
    }
    const auto *data = reinterpret_cast<const unsigned char *>(buffer.bytes.constData()) + buffer.pos;
    quint32 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | data[i];
    buffer.pos += width;
    return value;
}

void writeLittleEndian(ByteBuffer &buffer, quint32 value, int width)
{
    if (!buffer.fits(width)) {
        buffer.ok = false;
        return;
    }
    char *data = buffer.bytes.data() + buffer.pos;
    for (int i = 0; i < width; ++i) {
        data[i] = char(value & 0xFF);
        value >>= 8;
    }
    buffer.pos += width;
}

} // namespace

ByteBuffer &ByteBuffer::operator>>(quint8 &value)
{
    value = quint8(readLittleEndian(*this, 1));
    return *this;
}

ByteBuffer &ByteBuffer::operator>>(quint16 &value)
{
    value = quint16(readLittleEndian(*this, 2));
    return *this;
}

ByteBuffer &ByteBuffer::operator>>(quint32 &value)
{
    value = readLittleEndian(*this, 4);
    return *this;
}

ByteBuffer &ByteBuffer::operator<<(quint16 value)
{
    writeLittleEndian(*this, value, 2);
    return *this;
}

ByteBuffer &ByteBuffer::operator<<(quint32 value)
{
    writeLittleEndian(*this, value, 4);
    return *this;
}

void ByteBuffer::copyTo(QVector<char> &out) const
{
    out = bytes;
}

} // namespace core
