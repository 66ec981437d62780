#include "codec/messageheader.h"

#include <QtEndian>

#include <limits>

namespace core {

namespace {

constexpr qint64 fixedHeadSize = 12;

} // namespace

MessageHeaderRead readMessageHeader(EntryView entry)
{
    MessageHeaderRead result;
    MessageHeader &head = result.header;
    const qint64 size = entry.size();
    if (size < fixedHeadSize) {
        result.reason = QStringLiteral("the header is cut short (%1 bytes, at least 12 needed)").arg(size);
        return result;
    }
    const char *bytes = entry.constData();
    head.sectionCount = qFromLittleEndian<quint16>(bytes);
    head.lineCount = qFromLittleEndian<quint16>(bytes + 2);
    head.section0Size = qFromLittleEndian<quint32>(bytes + 4);
    head.reserved = qFromLittleEndian<quint32>(bytes + 8);
    if (size > std::numeric_limits<qint32>::max()) {
        result.reason = QStringLiteral("the entry is too large (%1 bytes)").arg(size);
        return result;
    }

    const qint64 headEnd = fixedHeadSize + 4 * qint64(head.sectionCount);
    if (headEnd > size) {
        result.reason = QStringLiteral("the offset table of %1 sections runs past the end (%2 bytes)")
                            .arg(head.sectionCount)
                            .arg(size);
        return result;
    }
    head.sectionOffsets.resize(head.sectionCount);
    for (int s = 0; s < head.sectionCount; ++s)
        head.sectionOffsets[s] = qFromLittleEndian<quint32>(bytes + fixedHeadSize + 4 * s);

    const qint64 lineTableEnd = 4 + 8 * qint64(head.lineCount);
    head.blockSizes.reserve(head.sectionCount);
    for (int s = 0; s < head.sectionCount; ++s) {
        const qint64 offset = head.sectionOffsets.at(s);
        if (offset + lineTableEnd > size) {
            result.reason = QStringLiteral(
                                "section %1 at offset %2 and its line table of %3 lines run past "
                                "the end (%4 bytes)")
                                .arg(s)
                                .arg(offset)
                                .arg(head.lineCount)
                                .arg(size);
            return result;
        }
        const quint32 blockSize = qFromLittleEndian<quint32>(bytes + offset);
        if (blockSize < lineTableEnd) {
            result.reason = QStringLiteral("section %1 claims %2 bytes, less than its line table needs (%3)")
                                .arg(s)
                                .arg(blockSize)
                                .arg(lineTableEnd);
            return result;
        }
        if (offset + blockSize > size) {
            result.reason = QStringLiteral("section %1 (%2 bytes at offset %3) runs past the end (%4 bytes)")
                                .arg(s)
                                .arg(blockSize)
                                .arg(offset)
                                .arg(size);
            return result;
        }
        head.blockSizes.append(blockSize);
    }
    return result;
}

int declaredSectionCount(EntryView entry)
{
    if (entry.isEmpty())
        return 0;
    if (entry.size() < fixedHeadSize)
        return -1;
    return qFromLittleEndian<quint16>(entry.constData());
}

} // namespace core
