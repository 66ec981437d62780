#include "codec/encode.h"

#include "codec/escape.h"

#include <QtEndian>

namespace core {

SectionBlockWriter::SectionBlockWriter(char *block, int lineCount)
    : m_block(block)
    , m_lineCount(lineCount)
    , m_units(block + 4 + 8 * qint64(lineCount))
    , m_offset(quint32(4 + 8 * qint64(lineCount)))
{
}

void SectionBlockWriter::refuse(TextRefusal::Kind kind, qint64 units, QStringView lineText, qsizetype at)
{
    if (m_refusal.refused())
        return;
    m_refusal.kind = kind;
    m_refusal.line = m_line + 1;
    if (kind == TextRefusal::Kind::BadEscape) {
        m_refusal.detail = quoteBadEscape(lineText, at);
    } else {
        m_refusal.count = units;
        m_refusal.limit = maxLineUnits;
    }
}

void SectionBlockWriter::addLine(QStringView lineText, LineKey key, quint16 attribute)
{
    char *out = m_units;
    const qsizetype bad = parseEscapedText(lineText, [&](quint16 unit) {
        qToLittleEndian<quint16>(quint16(unit ^ key), out);
        out += 2;
        key = rotateKeyLeft(key);
    });
    qToLittleEndian<quint16>(quint16(0xFFFF ^ key), out);
    out += 2;
    m_nextKey = rotateKeyLeft(key);

    const qint64 length = (out - m_units) / 2;
    if (bad >= 0)
        refuse(TextRefusal::Kind::BadEscape, 0, lineText, bad);
    else if (length > maxLineUnits)
        refuse(TextRefusal::Kind::LineTooLong, length);

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
            refuse(TextRefusal::Kind::LineTooLong, length);
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
