#include "codec/messagefile.h"

#include "codec/encode.h"
#include "narc/bytebuffer.h"

#include <cstring>

namespace core {

NewMessageFile newMessageFile(const QList<QStringList> &sections, const QList<QList<quint16>> &lineKeys,
                              const QList<QList<quint16>> &lineAttributes)
{
    NewMessageFile result;
    const auto fail = [&](const QString &reason) {
        result.error = reason;
        return result;
    };
    const qsizetype lineCount = sections.isEmpty() ? 0 : sections.first().size();
    if (sections.size() > 0xFFFF)
        return fail(QStringLiteral("too many sections (%1)").arg(sections.size()));

    QList<QByteArray> blocks;
    qint64 size = 12 + 4 * qint64(sections.size());
    for (qsizetype s = 0; s < sections.size(); ++s) {
        if (sections[s].size() != lineCount)
            return fail(QStringLiteral("section %1 has %2 lines, section 0 has %3")
                            .arg(s)
                            .arg(sections[s].size())
                            .arg(lineCount));
        if (s >= lineKeys.size() || lineKeys[s].size() < lineCount)
            return fail(QStringLiteral("section %1 lacks keys for its lines").arg(s));
        QList<quint16> attributes = s < lineAttributes.size() ? lineAttributes[s] : QList<quint16>();
        attributes.resize(qMax(attributes.size(), lineCount));
        const EncodedSection encoded = encodeSection(sections[s], int(lineCount), lineKeys[s], attributes);
        if (!encoded.ok())
            return fail(QStringLiteral("section %1: %2").arg(s).arg(encoded.error));
        size += encoded.block.size();
        blocks.append(encoded.block);
    }
    if (size > 0x7FFFFFFF)
        return fail(QStringLiteral("the message file would exceed 2 GB"));

    ByteBuffer head(QVector<char>(12 + 4 * blocks.size(), 0));
    head << quint16(blocks.size()) << quint16(lineCount)
         << quint32(blocks.isEmpty() ? 0 : blocks.first().size()) << quint32(0);
    quint32 offset = quint32(head.bytes.size());
    for (const QByteArray &block : std::as_const(blocks)) {
        head << offset;
        offset += quint32(block.size());
    }
    result.entry = NarcEntry(qsizetype(size));
    char *out = result.entry.data();
    std::memcpy(out, head.bytes.constData(), size_t(head.bytes.size()));
    out += head.bytes.size();
    for (const QByteArray &block : std::as_const(blocks)) {
        std::memcpy(out, block.constData(), size_t(block.size()));
        out += block.size();
    }
    return result;
}

} // namespace core
