#include "codec/utf8text.h"

#include "codec/escape.h"

#include <QChar>
#include <QStringEncoder>

#include <memory>

namespace core {

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

bool isHighSurrogate(quint16 unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(quint16 unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The entry of one unit, from its escaped text as the QString path writes it,
// so that both agree on which units show escaped.
quint32 unitEntry(int unit)
{
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return 0;
    const quint16 plain = quint16(unit);
    QChar shown[6];
    if (writeEscapedText(&plain, 1, shown) != 1)
        return 0;
    if (unit < 0x80)
        return quint32(unit) | 1u << 24;
    if (unit < 0x800)
        return (0xC0u | (unit >> 6)) | (0x80u | (unit & 0x3F)) << 8 | 2u << 24;
    return (0xE0u | (unit >> 12)) | (0x80u | ((unit >> 6) & 0x3F)) << 8 | (0x80u | (unit & 0x3F)) << 16 | 3u << 24;
}

std::unique_ptr<quint32[]> buildTable()
{
    // Not zero-filled first: every entry is written once.
    std::unique_ptr<quint32[]> table(new quint32[65536]);
    for (int unit = 0; unit < 65536; ++unit)
        table[unit] = unitEntry(unit);
    return table;
}

} // namespace

void appendSectionText(QByteArray &out, QStringView text)
{
    // Escaped text never holds a lone surrogate, so the bytes are those of each
    // line converted on its own.
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const qsizetype start = out.size();
    // Room for the worst case; resize grows geometrically.
    out.resize(start + encoder.requiredSpace(text.size()));
    char *data = out.data();
    char *end = encoder.appendToBuffer(data + start, text);
    out.resize(end - data);
}

const quint32 *unitUtf8Table()
{
    static const std::unique_ptr<quint32[]> table = buildTable();
    return table.get();
}

int putUtf8Escape(char *out, quint16 unit)
{
    out[0] = '\\';
    out[1] = 'x';
    out[2] = hexDigits[(unit >> 12) & 0xF];
    out[3] = hexDigits[(unit >> 8) & 0xF];
    out[4] = hexDigits[(unit >> 4) & 0xF];
    out[5] = hexDigits[unit & 0xF];
    return 6;
}

qsizetype writeEscapedUtf8(const quint16 *units, qsizetype count, char *out)
{
    const quint32 *table = unitUtf8Table();
    char *const start = out;
    for (qsizetype i = 0; i < count; ++i) {
        const quint16 unit = units[i];
        const quint32 value = table[unit];
        if (value != 0) {
            out += putUtf8Unit(out, value);
        } else if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(units[i + 1])) {
            out += putUtf8Pair(out, unit, units[i + 1]);
            ++i;
        } else {
            out += putUtf8Escape(out, unit);
        }
    }
    return out - start;
}

} // namespace core
