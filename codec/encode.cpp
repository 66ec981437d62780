#include "codec/encode.h"

#include "codec/escape.h"
#include "narc/bytebuffer.h"

#include <QtEndian>

#include <limits>

namespace core {

namespace {

constexpr qint64 maxLineUnits = 0xFFFF;

EncodedSection failed(const QString &reason, int badLine = -1)
{
    EncodedSection section;
    section.error = reason;
    section.badLine = badLine;
    return section;
}

QString tooLong(int line, qint64 units)
{
    return QStringLiteral("line %1 is too long (%2 units, at most %3)").arg(line + 1).arg(units).arg(maxLineUnits);
}

} // namespace

QVector<quint16> encodeLine(const QString &lineText, LineKey key)
{
    QVector<quint16> units;
    units.reserve(lineText.size() + 1);
    appendEscapedLine(lineText, units);
    units.append(0xFFFF);
    scrambleUnits(units.data(), units.size(), key);
    return units;
}

EncodedSection encodeSection(const QStringList &lines, int lineCount, const QList<quint16> &lineKeys,
                             const QList<quint16> &lineAttributes)
{
    if (lineCount < 0 || lineCount > 0xFFFF)
        return failed(QStringLiteral("a section cannot hold %1 lines").arg(lineCount));
    if (lines.size() < lineCount || lineKeys.size() < lineCount || lineAttributes.size() < lineCount)
        return failed(QStringLiteral("%1 lines are needed but %2 lines, %3 keys and %4 attributes were given")
                          .arg(lineCount)
                          .arg(lines.size())
                          .arg(lineKeys.size())
                          .arg(lineAttributes.size()));

    // All lines go into one run of units, scrambled in place.
    qint64 estimate = 1;
    for (int i = 0; i < lineCount; ++i)
        estimate += lines.at(i).size() + 1;
    QVector<quint16> units;
    units.reserve(estimate);
    QVector<quint16> lengths(lineCount);
    LineKey nextKey = 0;
    for (int i = 0; i < lineCount; ++i) {
        const qsizetype start = units.size();
        appendEscapedLine(lines.at(i), units);
        units.append(0xFFFF);
        const qint64 length = units.size() - start;
        if (length > maxLineUnits)
            return failed(tooLong(i, length), i);
        lengths[i] = quint16(length);
        nextKey = scrambleUnits(units.data() + start, length, lineKeys.at(i));
    }
    // Keep the block a multiple of 4 bytes: an odd unit count gets one more
    // terminator on the last line, scrambled as the unit at that position.
    if (units.size() % 2 == 1) {
        const int last = lineCount - 1;
        if (lengths.at(last) + 1 > maxLineUnits)
            return failed(tooLong(last, lengths.at(last) + 1), last);
        units.append(quint16(~nextKey));
        ++lengths[last];
    }

    const qint64 tableEnd = 4 + 8 * qint64(lineCount);
    const qint64 blockSize = tableEnd + 2 * qint64(units.size());
    if (blockSize > std::numeric_limits<qint32>::max())
        return failed(QStringLiteral("the section is too large (%1 bytes)").arg(blockSize));

    ByteBuffer out;
    out.bytes.resize(blockSize);
    out << quint32(blockSize);
    quint32 lineOffset = quint32(tableEnd);
    for (int i = 0; i < lineCount; ++i) {
        out << lineOffset << lengths.at(i) << lineAttributes.at(i);
        lineOffset += 2 * quint32(lengths.at(i));
    }
    char *data = out.bytes.data() + tableEnd;
    for (const quint16 unit : std::as_const(units)) {
        qToLittleEndian<quint16>(unit, data);
        data += 2;
    }

    EncodedSection encoded;
    encoded.block = std::move(out.bytes);
    return encoded;
}

} // namespace core
