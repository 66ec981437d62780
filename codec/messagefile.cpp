#include "codec/messagefile.h"

#include "codec/encode.h"

#include <QtEndian>

#include <cstring>

namespace core {

namespace {

// The block of one section, or why its lines cannot be stored.
Result<QByteArray> sectionBlock(const QStringList &lines, const QList<quint16> &keys, QList<quint16> attributes)
{
    const int lineCount = int(lines.size());
    attributes.resize(qMax(attributes.size(), lines.size()));
    qint64 characters = 0;
    for (const QString &line : lines)
        characters += line.size();
    const qint64 room = SectionBlockWriter::maxBlockSize(lineCount, characters);
    if (room > 0x7FFFFFFF)
        return Result<QByteArray>::failure(QStringLiteral("it is too large (up to %1 bytes)").arg(room));
    QByteArray block(qsizetype(room), Qt::Uninitialized);
    SectionBlockWriter writer(block.data(), lineCount);
    for (int i = 0; i < lineCount; ++i)
        writer.addLine(lines.at(i), keys.at(i), attributes.at(i));
    block.truncate(qsizetype(writer.finish()));
    if (writer.refusal().refused())
        return Result<QByteArray>::failure(QStringLiteral("line %1 cannot be stored").arg(writer.refusal().line));
    return Result<QByteArray>::success(std::move(block));
}

} // namespace

Result<NarcEntry> newMessageFile(const QList<QStringList> &sections, const QList<QList<quint16>> &lineKeys,
                                 const QList<QList<quint16>> &lineAttributes)
{
    using Made = Result<NarcEntry>;
    const qsizetype lineCount = sections.isEmpty() ? 0 : sections.first().size();
    if (sections.size() > 0xFFFF)
        return Made::failure(QStringLiteral("too many sections (%1)").arg(sections.size()));
    if (lineCount > 0xFFFF)
        return Made::failure(QStringLiteral("a section cannot hold %1 lines").arg(lineCount));

    QList<QByteArray> blocks;
    qint64 size = 12 + 4 * qint64(sections.size());
    for (qsizetype s = 0; s < sections.size(); ++s) {
        if (sections[s].size() != lineCount)
            return Made::failure(QStringLiteral("section %1 has %2 lines, section 0 has %3")
                                     .arg(s)
                                     .arg(sections[s].size())
                                     .arg(lineCount));
        if (s >= lineKeys.size() || lineKeys[s].size() < lineCount)
            return Made::failure(QStringLiteral("section %1 lacks keys for its lines").arg(s));
        const Result<QByteArray> block = sectionBlock(sections[s], lineKeys[s],
                                                      s < lineAttributes.size() ? lineAttributes[s] : QList<quint16>());
        if (!block)
            return Made::failure(QStringLiteral("section %1: %2").arg(s).arg(block.reason));
        size += block.value.size();
        blocks.append(block.value);
    }
    if (size > 0x7FFFFFFF)
        return Made::failure(QStringLiteral("the message file would exceed 2 GB"));

    NarcEntry entry(static_cast<qsizetype>(size), 0);
    char *out = entry.data();
    qToLittleEndian<quint16>(quint16(blocks.size()), out);
    qToLittleEndian<quint16>(quint16(lineCount), out + 2);
    qToLittleEndian<quint32>(quint32(blocks.isEmpty() ? 0 : blocks.first().size()), out + 4);
    qToLittleEndian<quint32>(0, out + 8);
    qint64 at = 12 + 4 * qint64(blocks.size());
    for (qsizetype s = 0; s < blocks.size(); ++s) {
        qToLittleEndian<quint32>(quint32(at), out + 12 + 4 * s);
        std::memcpy(out + at, blocks[s].constData(), size_t(blocks[s].size()));
        at += blocks[s].size();
    }
    return Made::success(std::move(entry));
}

} // namespace core
