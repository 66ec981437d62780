#include "codec/decode.h"

#include "codec/escape.h"
#include "codec/messageheader.h"
#include "narc/bytebuffer.h"

#include <QtEndian>

namespace core {

namespace {

struct LineRecord
{
    quint32 offset = 0; // from the start of the section block
    quint16 length = 0; // in units
};

// The key of a line's first unit, found from its last stored unit: the last plain
// unit is always the terminator 0xFFFF, so the key there is the stored unit
// inverted; the first unit's key lies 3 * (length - 1) bits further right.
LineKey firstUnitKey(const quint16 *stored, int length)
{
    const LineKey last = LineKey(~stored[length - 1]);
    const int shift = (3 * (length - 1)) % 16;
    if (shift == 0)
        return last;
    return LineKey((last >> shift) | (last << (16 - shift)));
}

DecodedSection failed(const QString &reason)
{
    DecodedSection section;
    section.error = reason;
    return section;
}

} // namespace

DecodedSection decodeMessageSection(const NarcEntry &entry, int section)
{
    if (section < 0)
        return {};
    const MessageHeaderRead read = readMessageHeader(entry);
    const MessageHeader &head = read.header;
    // With the fixed fields read, a section the file does not have is no error,
    // whatever state the rest of the head is in.
    // An empty entry holds no sections.
    if (entry.isEmpty() || (entry.size() >= 12 && section >= head.sectionCount))
        return {};
    if (!read.ok())
        return failed(read.error);

    const qint64 base = head.sectionOffsets.at(section);
    const qint64 blockSize = head.blockSizes.at(section);
    const int lineCount = head.lineCount;

    // readMessageHeader made sure the line table lies inside the block and the
    // block inside the entry; what is left to check is where each line points.
    QVector<LineRecord> records(lineCount);
    QList<quint16> attributes;
    attributes.reserve(lineCount);
    ByteBuffer in(entry);
    in.pos = qint32(base + 4);
    qint64 totalUnits = 0;
    int longest = 0;
    for (int i = 0; i < lineCount; ++i) {
        LineRecord &record = records[i];
        quint16 attribute = 0;
        in >> record.offset >> record.length >> attribute;
        if (record.length == 0)
            return failed(QStringLiteral("line %1 of section %2 has no units").arg(i).arg(section));
        if (qint64(record.offset) + 2 * qint64(record.length) > blockSize)
            return failed(QStringLiteral("line %1 of section %2 (%3 units at %4) runs past its block "
                                         "(%5 bytes)")
                              .arg(i)
                              .arg(section)
                              .arg(record.length)
                              .arg(record.offset)
                              .arg(blockSize));
        attributes.append(attribute);
        totalUnits += record.length;
        longest = qMax(longest, int(record.length));
    }
    if (!in.ok)
        return failed(QStringLiteral("the line table of section %1 cannot be read").arg(section));

    DecodedSection decoded;
    decoded.present = true;
    decoded.lines.reserve(lineCount);
    decoded.lineKeys.reserve(lineCount);
    decoded.lineAttributes = std::move(attributes);

    QVector<quint16> units(longest); // reused for every line
    const char *blockStart = entry.constData() + base;
    for (int i = 0; i < lineCount; ++i) {
        const LineRecord &record = records.at(i);
        const int length = record.length;
        quint16 *plain = units.data();
        const char *stored = blockStart + record.offset;
        for (int j = 0; j < length; ++j)
            plain[j] = qFromLittleEndian<quint16>(stored + 2 * j);
        const LineKey key = firstUnitKey(plain, length);
        scrambleUnits(plain, length, key);

        // Drop the terminator. The last line of a block whose units add up to an
        // even count may also carry the padding unit; a second 0xFFFF there is
        // taken as padding, which an encode puts back exactly as stored. Any other
        // 0xFFFF is text and shows escaped, so nothing is lost on a save.
        int textLength = length - 1;
        if (i == lineCount - 1 && totalUnits % 2 == 0 && textLength > 0 && plain[textLength - 1] == 0xFFFF)
            --textLength;
        decoded.lines.append(escapeLineText(plain, textLength));
        decoded.lineKeys.append(key);
    }
    return decoded;
}

} // namespace core
