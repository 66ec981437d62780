#pragma once

#include <QByteArray>
#include <QStringView>
#include <QtEndian>

namespace core {

// Appends a section's text, its lines joined with "\n" and no line break after
// the last (as decodeMessageSection's DecodeForm::Text gives it), to `out` as
// UTF-8 (no byte order mark), converted in one go. The exports write UTF-8
// straight from the stored units instead (appendSectionUtf8, codec/decode.h);
// this is the same conversion for text that is already a QString.
void appendSectionText(QByteArray &out, QStringView text);

// Every unit that shows as itself (see codec/escape.h) as UTF-8, one table for
// all 65,536 units: its one to three bytes in the low bytes (little-endian) and
// their count in the top byte. The others have 0 there: a unit that shows
// escaped (putUtf8Escape), and a surrogate, which shows as itself only beside
// the other half of its pair (putUtf8Pair).
const quint32 *unitUtf8Table();

// Writes the table entry `value` at `out`, which must have 4 bytes of room
// (whatever the entry's length); returns the bytes that count.
inline int putUtf8Unit(char *out, quint32 value)
{
    qToLittleEndian<quint32>(value, out);
    return int(value >> 24);
}

// Writes the character of a surrogate pair (4 bytes).
inline int putUtf8Pair(char *out, quint16 high, quint16 low)
{
    const char32_t c = 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

// Writes the escape of `unit`, "\xhhhh" (6 bytes).
int putUtf8Escape(char *out, quint16 unit);

// Writes the escaped text of exactly these plain units as UTF-8, as
// writeEscapedText followed by a conversion to UTF-8 gives it. `out` must have
// room for 6 * count + 2 bytes; returns the bytes written.
qsizetype writeEscapedUtf8(const quint16 *units, qsizetype count, char *out);

} // namespace core
