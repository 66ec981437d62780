#include "codec/encode.h"

#include "codec/escape.h"

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
    QVector<quint16> units = parseEscapedLine(lineText);
    units.append(0xFFFF);
    scrambleUnits(units.data(), units.size(), key);
    return units;
}

SectionBlockWriter::SectionBlockWriter(char *block, int lineCount)
    : m_block(block)
    , m_lineCount(lineCount)
    , m_units(block + 4 + 8 * qint64(lineCount))
    , m_offset(quint32(4 + 8 * qint64(lineCount)))
{
}

void SectionBlockWriter::fail(Problem problem, const QString &error)
{
    if (m_problem != Problem::None)
        return;
    m_problem = problem;
    m_error = error;
    m_badLine = m_line;
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
    if (bad >= 0) {
        fail(Problem::BadEscape, QStringLiteral("line %1 has a backslash that starts no escape: %2")
                                     .arg(m_line + 1)
                                     .arg(quoteBadEscape(lineText, bad)));
    } else if (length > maxLineUnits) {
        fail(Problem::LineTooLong, tooLong(m_line, length));
    }

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
            fail(Problem::LineTooLong, tooLong(last, length));
        }
        qToLittleEndian<quint16>(quint16(~m_nextKey), m_units);
        m_units += 2;
        qToLittleEndian<quint16>(quint16(length), lengthField);
    }
    const qint64 blockSize = m_units - m_block;
    qToLittleEndian<quint32>(quint32(blockSize), m_block);
    return blockSize;
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

    qint64 characters = 0;
    for (int i = 0; i < lineCount; ++i)
        characters += lines.at(i).size();
    const qint64 room = SectionBlockWriter::maxBlockSize(lineCount, characters);
    if (room > std::numeric_limits<qint32>::max())
        return failed(QStringLiteral("the section is too large (up to %1 bytes)").arg(room));

    QByteArray block(qsizetype(room), Qt::Uninitialized);
    SectionBlockWriter writer(block.data(), lineCount);
    for (int i = 0; i < lineCount; ++i)
        writer.addLine(lines.at(i), lineKeys.at(i), lineAttributes.at(i));
    const qint64 blockSize = writer.finish();
    if (writer.problem() != SectionBlockWriter::Problem::None)
        return failed(writer.error(), writer.badLine());

    block.truncate(qsizetype(blockSize));
    EncodedSection encoded;
    encoded.block = std::move(block);
    return encoded;
}

} // namespace core
