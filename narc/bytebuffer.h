#pragma once

#include <QVector>
#include <QtGlobal>

namespace core {

// A little-endian cursor over one byte vector.
//
// Reads and writes start at `pos` and advance it by the width of the value; they
// chain, so a header can be read in one expression. The buffer never grows and
// never touches a byte outside `bytes`: an access that does not fit reads as zero,
// writes nothing, leaves `pos` where it was and clears `ok` for good, so a caller
// can run a series of reads and check once at the end.
//
// The buffer is a value: writing through it never changes the vector it was made
// from. Changes reach the outside only through copyTo().
class ByteBuffer
{
public:
    ByteBuffer() = default;
    explicit ByteBuffer(const QVector<char> &source);

    QVector<char> bytes;
    qint32 pos = 0;
    bool ok = true;

    // True when `width` bytes starting at `pos` lie inside `bytes`.
    bool fits(qint64 width) const;

    ByteBuffer &operator>>(quint8 &value);
    ByteBuffer &operator>>(quint16 &value);
    ByteBuffer &operator>>(quint32 &value);
    ByteBuffer &operator<<(quint16 value);
    ByteBuffer &operator<<(quint32 value);

    void copyTo(QVector<char> &out) const;
};

} // namespace core
