#include "messagefixture.h"

#include <QRandomGenerator>

#include <iterator>

namespace {

void putU16(NarcEntry &entry, qint64 offset, quint16 value)
{
    entry[offset] = char(value & 0xFF);
    entry[offset + 1] = char(value >> 8);
}

void putU32(NarcEntry &entry, qint64 offset, quint32 value)
{
    putU16(entry, offset, quint16(value & 0xFFFF));
    putU16(entry, offset + 2, quint16(value >> 16));
}

NarcEntry buildBlock(const FixtureSection &lines, int lineCount)
{
    QList<QVector<quint16>> stored;
    qint64 totalUnits = 0;
    for (int i = 0; i < lineCount; ++i) {
        QVector<quint16> plain = lines.at(i).units;
        plain.append(0xFFFF);
        totalUnits += plain.size();
        stored.append(plain);
    }
    if (totalUnits % 2 == 1)
        stored.last().append(0xFFFF);
    for (int i = 0; i < lineCount; ++i)
        stored[i] = scrambled(stored.at(i), lines.at(i).key);

    const qint64 tableEnd = 4 + 8 * qint64(lineCount);
    NarcEntry block(tableEnd + 2 * (totalUnits + totalUnits % 2), 0);
    putU32(block, 0, quint32(block.size()));
    qint64 at = tableEnd;
    for (int i = 0; i < lineCount; ++i) {
        putU32(block, 4 + 8 * i, quint32(at));
        putU16(block, 8 + 8 * i, quint16(stored.at(i).size()));
        putU16(block, 10 + 8 * i, lines.at(i).attribute);
        for (const quint16 unit : stored.at(i)) {
            putU16(block, at, unit);
            at += 2;
        }
    }
    return block;
}

} // namespace

FixtureLine fixtureLine(const QString &text, quint16 key, quint16 attribute)
{
    FixtureLine line;
    line.units.reserve(text.size());
    for (const QChar c : text)
        line.units.append(c.unicode());
    line.key = key;
    line.attribute = attribute;
    return line;
}

quint16 fixtureKey(int section, int line)
{
    return quint16(0x2F5B + 0x0101 * section + 0x1D3 * line);
}

NarcEntry buildMessageFile(const QList<FixtureSection> &sections, quint32 reserved)
{
    const int lineCount = sections.isEmpty() ? 0 : int(sections.first().size());
    QList<NarcEntry> blocks;
    for (const FixtureSection &section : sections) {
        if (section.size() != lineCount)
            qFatal("buildMessageFile: every section needs %d lines", lineCount);
        blocks.append(buildBlock(section, lineCount));
    }

    const qint64 headEnd = 12 + 4 * qint64(sections.size());
    NarcEntry entry(headEnd, 0);
    putU16(entry, 0, quint16(sections.size()));
    putU16(entry, 2, quint16(lineCount));
    putU32(entry, 4, blocks.isEmpty() ? 0 : quint32(blocks.first().size()));
    putU32(entry, 8, reserved);
    for (int s = 0; s < blocks.size(); ++s) {
        putU32(entry, 12 + 4 * s, quint32(entry.size()));
        entry.append(blocks.at(s));
    }
    return entry;
}

NarcEntry buildMessageFile(const QList<QStringList> &sections)
{
    QList<FixtureSection> built;
    for (int s = 0; s < sections.size(); ++s) {
        FixtureSection lines;
        for (int i = 0; i < sections.at(s).size(); ++i)
            lines.append(fixtureLine(sections.at(s).at(i), fixtureKey(s, i)));
        built.append(lines);
    }
    return buildMessageFile(built);
}

QList<FixtureSection> randomSections(QRandomGenerator &random, int sectionCount, int maxLines, int maxUnits)
{
    static constexpr quint16 special[] = {0xFFFF, 0xFFFF, 0x005C, 0x0078, 0x007B, 0x0000, 0x0014, 0x0015,
                                          0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFEFF, 0x2028, 0x2029, 0xF000,
                                          0xFFF0, 0xFFF1, 0xFFFE, 0x0378, 0x0041, 0x000A, 0x000D};
    const int lineCount = random.bounded(maxLines + 1);
    QList<FixtureSection> sections;
    for (int s = 0; s < sectionCount; ++s) {
        FixtureSection lines;
        for (int i = 0; i < lineCount; ++i) {
            FixtureLine line;
            line.key = quint16(random.bounded(0x10000));
            line.attribute = quint16(random.bounded(0x10000));
            const int length = random.bounded(maxUnits + 1);
            for (int j = 0; j < length; ++j)
                line.units.append(random.bounded(2) ? special[random.bounded(int(std::size(special)))]
                                                    : quint16(random.bounded(0x10000)));
            lines.append(line);
        }
        sections.append(lines);
    }
    return sections;
}

QVector<quint16> scrambled(const QVector<quint16> &plain, quint16 key)
{
    QVector<quint16> units = plain;
    for (quint16 &unit : units) {
        unit ^= key;
        key = quint16((key << 3) | (key >> 13));
    }
    return units;
}

quint16 entryU16(const NarcEntry &entry, qint64 offset)
{
    if (offset < 0 || offset + 2 > entry.size())
        return 0;
    return quint16(quint8(entry.at(offset)) | quint8(entry.at(offset + 1)) << 8);
}

quint32 entryU32(const NarcEntry &entry, qint64 offset)
{
    if (offset < 0 || offset + 4 > entry.size())
        return 0;
    return quint32(entryU16(entry, offset)) | quint32(entryU16(entry, offset + 2)) << 16;
}
