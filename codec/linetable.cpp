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

SectionLineTable failed(const QString &reason)
{
    SectionLineTable table;
    table.reason = reason;
    return table;
}

} // namespace

SectionLineTable readSectionLineTable(EntryView entry, const MessageHeader &head, int section)
{
    const qint64 base = head.sectionOffsets.at(section);
    const qint64 blockSize = head.blockSizes.at(section);
    const int lineCount = head.lineCount;
    // readMessageHeader made sure the line table lies inside the block and the
    // block inside the entry; what is left to check is where each line points.
    if (base + 4 + 8 * qint64(lineCount) > entry.size())
        return failed(QStringLiteral("the line table of section %1 cannot be read").arg(section));

    SectionLineTable table;
    table.block = entry.constData() + base;
    table.lines.resize(lineCount);
    const char *record = table.block + 4;
    for (int i = 0; i < lineCount; ++i, record += 8) {
        LineRecord &line = table.lines[i];
        line.offset = qFromLittleEndian<quint32>(record);
        line.length = qFromLittleEndian<quint16>(record + 4);
        line.attribute = qFromLittleEndian<quint16>(record + 6);
        if (line.length == 0)
            return failed(QStringLiteral("line %1 of section %2 has no units").arg(i).arg(section));
        if (qint64(line.offset) + 2 * qint64(line.length) > blockSize)
            return failed(QStringLiteral("line %1 of section %2 (%3 units at %4) runs past its block "
                                         "(%5 bytes)")
                              .arg(i)
                              .arg(section)
                              .arg(line.length)
                              .arg(line.offset)
                              .arg(blockSize));
        line.key = firstUnitKey(table.block + line.offset, line.length);
        table.totalUnits += line.length;
        table.longest = qMax(table.longest, int(line.length));
    }
    return table;
}

} // namespace core
