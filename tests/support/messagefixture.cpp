#include "messagefixture.h"

#include <QRandomGenerator>

#include <iterator>

using namespace core;

static void put(NarcEntry &entry, qint64 offset, quint32 value)
{
    for (int b = 0; b < 4; ++b)
        entry[offset + b] = char(value >> (8 * b));
}

FixtureLine fixtureLine(const QString &text, quint16 key, quint16 attribute)
{
    return {QVector<quint16>(text.utf16(), text.utf16() + text.size()), key, attribute};
}

quint16 fixtureKey(int section, int line)
{
    return quint16(0x2F5B + 0x0101 * section + 0x1D3 * line);
}

NarcEntry buildMessageFile(const QList<FixtureSection> &sections, quint32 reserved)
{
    const qsizetype lineCount = sections.isEmpty() ? 0 : sections.first().size();
    NarcEntry entry(12 + 4 * sections.size(), 0);
    put(entry, 0, quint32(sections.size() | lineCount << 16));
    put(entry, 8, reserved);
    for (int s = 0; s < sections.size(); ++s) {
        NarcEntry block(4 + 8 * lineCount, 0);
        for (int i = 0; i < lineCount; ++i) {
            const FixtureLine &line = sections.at(s).at(i);
            QVector<quint16> stored = line.units + QVector<quint16>{0xFFFF};
            if (i == lineCount - 1 && (block.size() / 2 + stored.size()) % 2 == 1)
                stored.append(0xFFFF); // the block's unit count is odd: pad
            put(block, 4 + 8 * i, quint32(block.size()));
            put(block, 8 + 8 * i, quint32(stored.size() | quint32(line.attribute) << 16));
            quint16 key = line.key;
            for (const quint16 unit : stored) {
                block << char((unit ^ key) & 0xFF) << char((unit ^ key) >> 8);
                key = quint16((key << 3) | (key >> 13));
            }
        }
        put(block, 0, quint32(block.size()));
        put(entry, 12 + 4 * s, quint32(entry.size()));
        if (s == 0)
            put(entry, 4, quint32(block.size()));
        entry += block;
    }
    return entry;
}

NarcEntry buildMessageFile(const QList<QStringList> &sections)
{
    QList<FixtureSection> built(sections.size());
    for (int s = 0; s < sections.size(); ++s)
        for (int i = 0; i < sections.at(s).size(); ++i)
            built[s].append(fixtureLine(sections.at(s).at(i), fixtureKey(s, i)));
    return buildMessageFile(built);
}

QList<FixtureSection> randomSections(QRandomGenerator &random, int sectionCount, int maxLines, int maxUnits)
{
    static constexpr quint16 special[] = {0xFFFF, 0xFFFF, 0x005C, 0x0078, 0x007B, 0x0000, 0x0014, 0x0015,
                                          0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFEFF, 0x2028, 0x2029, 0xF000,
                                          0xFFF0, 0xFFF1, 0xFFFE, 0x0378, 0x0041, 0x000A, 0x000D};
    const int lineCount = random.bounded(maxLines + 1);
    QList<FixtureSection> sections(sectionCount);
    for (FixtureSection &lines : sections) {
        for (int i = 0; i < lineCount; ++i) {
            FixtureLine line{{}, quint16(random.bounded(0x10000)), quint16(random.bounded(0x10000))};
            for (int j = random.bounded(maxUnits + 1); j > 0; --j)
                line.units.append(random.bounded(2) ? special[random.bounded(int(std::size(special)))]
                                                    : quint16(random.bounded(0x10000)));
            lines.append(line);
        }
    }
    return sections;
}

quint16 entryU16(const NarcEntry &entry, qint64 offset)
{
    return offset < 0 || offset + 2 > entry.size() ? 0 : quint8(entry.at(offset)) | quint8(entry.at(offset + 1)) << 8;
}

quint32 entryU32(const NarcEntry &entry, qint64 offset)
{
    const bool inside = offset >= 0 && offset + 4 <= entry.size();
    return inside ? entryU16(entry, offset) | quint32(entryU16(entry, offset + 2)) << 16 : 0;
}

QByteArray poMessage(const char *context, const char *id, const char *translation)
{
    return QByteArray("msgctxt \"") + context + "\"\nmsgid \"" + id + "\"\nmsgstr \"" + translation + "\"\n\n";
}

const QByteArray poUtf8Header = "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
