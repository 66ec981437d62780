#include "codec/encode.h"

#include "codec/escape.h"

#include <QtEndian>

namespace core {

namespace {

// Why a line of `units` units, terminator included, whose first backslash that
// starts no escape is at `bad` (-1: none), cannot be stored; Kind::None when it can.
TextRefusal lineRefusal(QStringView lineText, qsizetype bad, qint64 units)
{
    TextRefusal why;
    if (bad >= 0) {
        why.kind = TextRefusal::Kind::BadEscape;
        why.detail = quoteBadEscape(lineText, bad);
    } else if (units > SectionBlockWriter::maxLineUnits) {
        why.kind = TextRefusal::Kind::LineTooLong;
        why.count = units;
        why.limit = SectionBlockWriter::maxLineUnits;
    }
    return why;
}

} // namespace

TextRefusal storableLine(QStringView lineText)
{
    qint64 units = 1; // the terminator
    const qsizetype bad = parseEscapedText(lineText, [&](quint16) { ++units; });
    return lineRefusal(lineText, bad, units);
}

SectionBlockWriter::SectionBlockWriter(char *block, int lineCount)
    : m_block(block)
    , m_lineCount(lineCount)
    , m_units(block + 4 + 8 * qint64(lineCount))
    , m_offset(quint32(4 + 8 * qint64(lineCount)))
{
}

void SectionBlockWriter::refuse(const TextRefusal &why)
{
    if (m_refusal.refused() || !why.refused())
        return;
    m_refusal = why;
    m_refusal.line = m_line + 1;
}

void SectionBlockWriter::addLine(QStringView lineText, LineKey key, quint16 attribute)
{
    char *out = m_units;
    const qsizetype bad = parseEscapedText(lineText, [&](quint16 unit) {
        qToLittleEndian<quint16>(quint16(unit ^ key), out);
        out += 2;
        key = rotateKeyLeft(key);
    });
    endLine(out, key, lineText, bad, attribute);
}

qsizetype SectionBlockWriter::addLineFrom(QStringView text, qsizetype from, char16_t breakChar, bool crlf, LineKey key,
                                          quint16 attribute)
{
    const char16_t *p = text.utf16();
    const qsizetype n = text.size();
    const auto breaksAt = [&](qsizetype at) {
        return p[at] == breakChar && (!crlf || (at + 1 < n && p[at + 1] == u'\n'));
    };
    char *out = m_units;
    const auto put = [&](quint16 unit) {
        qToLittleEndian<quint16>(quint16(unit ^ key), out);
        out += 2;
        key = rotateKeyLeft(key);
    };
    // As parseEscapedText walks the line, the line's end found on the way.
    qsizetype bad = -1;
    qsizetype i = from;
    qsizetype end = n;
    while (i < n) {
        const char16_t c = p[i];
        if (c != u'\\') {
            if (c == breakChar && breaksAt(i)) {
                end = i;
                break;
            }
            put(c);
            ++i;
            continue;
        }
        // An escape ends where the line does, when that is first.
        qsizetype lineEnd = qMin(n, i + 6);
        for (qsizetype k = i + 1; k < lineEnd; ++k) {
            if (breaksAt(k)) {
                lineEnd = k;
                break;
            }
        }
        if (i + 2 < lineEnd && p[i + 2] == u'{') {
            put(0x005C);
            ++i;
            continue;
        }
        const int value = i + 6 <= lineEnd ? hexQuad(text.data() + i + 2) : -1;
        if (value < 0 && bad < 0)
            bad = i - from;
        put(quint16(value < 0 ? 0 : value));
        if (lineEnd < i + 6) {
            end = lineEnd;
            break;
        }
        i += 6;
    }
    endLine(out, key, text.sliced(from, end - from), bad, attribute);
    return end;
}

void SectionBlockWriter::endLine(char *out, LineKey key, QStringView lineText, qsizetype bad, quint16 attribute)
{
    qToLittleEndian<quint16>(quint16(0xFFFF ^ key), out);
    out += 2;
    m_nextKey = rotateKeyLeft(key);

    const qint64 length = (out - m_units) / 2;
    refuse(lineRefusal(lineText, bad, length));

    char *record = m_block + 4 + 8 * qint64(m_line);
    qToLittleEndian<quint32>(m_offset, record);
    qToLittleEndian<quint16>(quint16(length), record + 4);
    qToLittleEndian<quint16>(attribute, record + 6);
    m_offset += quint32(2 * length);
    m_units = out;
    ++m_line;
}

qint64 SectionBlockWriter::finish()
{
    // Keep the block a multiple of 4 bytes: an odd unit count gets one more
    // terminator on the last line, scrambled as the unit at that position.
    const qint64 tableEnd = 4 + 8 * qint64(m_lineCount);
    if (((m_units - m_block - tableEnd) / 2) % 2 == 1) {
        const int last = m_lineCount - 1;
        char *lengthField = m_block + 4 + 8 * qint64(last) + 4;
        const qint64 length = qFromLittleEndian<quint16>(lengthField) + 1;
        if (length > maxLineUnits) {
            m_line = last;
            refuse(lineRefusal({}, -1, length));
        }
        qToLittleEndian<quint16>(quint16(~m_nextKey), m_units);
        m_units += 2;
        qToLittleEndian<quint16>(quint16(length), lengthField);
    }
    const qint64 blockSize = m_units - m_block;
    qToLittleEndian<quint32>(quint32(blockSize), m_block);
    return blockSize;
}

} // namespace core
