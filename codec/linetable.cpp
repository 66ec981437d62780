#include "codec/linetable.h"

#include <QtEndian>

namespace core {

namespace {

// The key of a line's first unit, found from its last stored unit: the last plain
// unit is always the terminator 0xFFFF, so the key there is the stored unit
// inverted; the first unit's key lies 3 * (length - 1) bits further right.
LineKey firstUnitKey(const char *line, int length)
{
    const LineKey last = LineKey(~qFromLittleEndian<quint16>(line + 2 * (length - 1)));
    const int shift = (3 * (length - 1)) % 16;
    if (shift == 0)
        return last;
    return LineKey((last >> shift) | (last << (16 - shift)));
}

} // namespace

LineRecords::LineRecords(EntryView entry, const MessageHeader &head, int section)
    : m_section(section)
{
    const qint64 base = head.sectionOffsets.at(section);
    m_blockSize = head.blockSizes.at(section);
    // readMessageHeader made sure the line table lies inside the block and the
    // block inside the entry; what is left to check is where each line points.
    if (base + 4 + 8 * qint64(head.lineCount) > entry.size()) {
        m_reason = QStringLiteral("the line table of section %1 cannot be read").arg(section);
        return;
    }
    m_block = entry.constData() + base;
    m_count = head.lineCount;
}

bool LineRecords::read(int i, LineRecord *line)
{
    const char *record = m_block + 4 + 8 * qint64(i);
    line->offset = qFromLittleEndian<quint32>(record);
    line->length = qFromLittleEndian<quint16>(record + 4);
    line->attribute = qFromLittleEndian<quint16>(record + 6);
    if (line->length == 0) {
        m_reason = QStringLiteral("line %1 of section %2 has no units").arg(i).arg(m_section);
        return false;
    }
    if (qint64(line->offset) + 2 * qint64(line->length) > m_blockSize) {
        m_reason = QStringLiteral("line %1 of section %2 (%3 units at %4) runs past its block (%5 bytes)")
                       .arg(i)
                       .arg(m_section)
                       .arg(line->length)
                       .arg(line->offset)
                       .arg(m_blockSize);
        return false;
    }
    line->key = firstUnitKey(m_block + line->offset, line->length);
    return true;
}

SectionLineTable readSectionLineTable(EntryView entry, const MessageHeader &head, int section)
{
    SectionLineTable table;
    LineRecords records(entry, head, section);
    if (!records.ok()) {
        table.reason = records.reason();
        return table;
    }
    table.block = records.block();
    table.lines.resize(records.count());
    for (int i = 0; i < records.count(); ++i) {
        LineRecord &line = table.lines[i];
        if (!records.read(i, &line)) {
            SectionLineTable failed;
            failed.reason = records.reason();
            return failed;
        }
        table.totalUnits += line.length;
        table.longest = qMax(table.longest, int(line.length));
    }
    return table;
}

} // namespace core
