#include "codec/messageheader.h"

#include "narc/bytebuffer.h"

#include <limits>

namespace core {

namespace {

constexpr qint64 fixedHeadSize = 12;

} // namespace

MessageHeaderRead readMessageHeader(const NarcEntry &entry)
{
    MessageHeaderRead result;
    MessageHeader &head = result.header;
    const qint64 size = entry.size();
    if (size < fixedHeadSize) {
        result.error = QStringLiteral("the header is cut short (%1 bytes, at least 12 needed)").arg(size);
        return result;
    }
    ByteBuffer in(entry);
    in >> head.sectionCount >> head.lineCount >> head.section0Size >> head.reserved;
    if (size > std::numeric_limits<qint32>::max()) {
        result.error = QStringLiteral("the entry is too large (%1 bytes)").arg(size);
        return result;
    }

    const qint64 headEnd = fixedHeadSize + 4 * qint64(head.sectionCount);
    if (headEnd > size) {
        result.error = QStringLiteral("the offset table of %1 sections runs past the end (%2 bytes)")
                           .arg(head.sectionCount)
                           .arg(size);
        return result;
    }
    head.sectionOffsets.resize(head.sectionCount);
    for (quint32 &offset : head.sectionOffsets)
        in >> offset;

    const qint64 lineTableEnd = 4 + 8 * qint64(head.lineCount);
    head.blockSizes.reserve(head.sectionCount);
    for (int s = 0; s < head.sectionCount; ++s) {
        const qint64 offset = head.sectionOffsets.at(s);
        if (offset + lineTableEnd > size) {
            result.error = QStringLiteral("section %1 at offset %2 and its line table of %3 lines run past "
                                          "the end (%4 bytes)")
                               .arg(s)
                               .arg(offset)
                               .arg(head.lineCount)
                               .arg(size);
            return result;
        }
        in.pos = qint32(offset);
        quint32 blockSize = 0;
        in >> blockSize;
        if (blockSize < lineTableEnd) {
            result.error = QStringLiteral("section %1 claims %2 bytes, less than its line table needs (%3)")
                               .arg(s)
                               .arg(blockSize)
                               .arg(lineTableEnd);
            return result;
        }
        if (offset + blockSize > size) {
            result.error = QStringLiteral("section %1 (%2 bytes at offset %3) runs past the end (%4 bytes)")
                               .arg(s)
                               .arg(blockSize)
                               .arg(offset)
                               .arg(size);
            return result;
        }
        head.blockSizes.append(blockSize);
    }
    if (!in.ok)
        result.error = QStringLiteral("the header cannot be read");
    return result;
}

} // namespace core
