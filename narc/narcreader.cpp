#include "narc/narcreader.h"

#include <cstring>

namespace {

// Little-endian field access over the input, every read checked by the caller's
// bounds test first.
quint32 u32At(const QByteArray &bytes, qint64 offset)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData()) + offset;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 u16At(const QByteArray &bytes, qint64 offset)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData()) + offset;
    return quint16(p[0] | p[1] << 8);
}

bool tagAt(const QByteArray &bytes, qint64 offset, const char *tag)
{
    return offset >= 0 && offset + 4 <= bytes.size() && std::memcmp(bytes.constData() + offset, tag, 4) == 0;
}

NarcRead refuse(const QString &reason)
{
    NarcRead result;
    result.error = reason;
    return result;
}

} // namespace

NarcRead readNarc(const QByteArray &bytes)
{
    const qint64 size = bytes.size();
    constexpr qint64 headerBytes = 16;
    constexpr qint64 fatOffset = 0x10;

    if (!tagAt(bytes, 0, "NARC"))
        return refuse(QStringLiteral("does not start with the tag NARC"));
    if (size < headerBytes)
        return refuse(QStringLiteral("the header is cut short"));

    NarcRead result;
    Narc &narc = result.narc;
    narc.magic = qint32(u32At(bytes, 0));
    narc.byteOrder = qint16(u16At(bytes, 4));
    narc.version = qint16(u16At(bytes, 6));
    narc.fileSize = qint32(u32At(bytes, 8));
    narc.headerSize = qint16(u16At(bytes, 12));
    narc.blockCount = qint16(u16At(bytes, 14));
    if (quint16(narc.headerSize) != headerBytes)
        return refuse(QStringLiteral("header size is %1, not 16").arg(quint16(narc.headerSize)));

    // Allocation table: tag, size, count, then a start and an end per entry.
    if (!tagAt(bytes, fatOffset, "BTAF"))
        return refuse(QStringLiteral("no allocation table (BTAF) at 0x10"));
    if (fatOffset + 12 > size)
        return refuse(QStringLiteral("the allocation table is cut short"));
    narc.fatTag = qint32(u32At(bytes, fatOffset));
    narc.fatSize = qint32(u32At(bytes, fatOffset + 4));
    narc.fileCount = u32At(bytes, fatOffset + 8);
    const qint64 fatSize = quint32(narc.fatSize);
    const qint64 tableBytes = 12 + 8 * qint64(narc.fileCount);
    if (fatOffset + fatSize > size)
        return refuse(QStringLiteral("the allocation table's size points past the end of the file"));
    if (tableBytes > fatSize)
        return refuse(QStringLiteral("the allocation table holds fewer than its %1 entries").arg(narc.fileCount));

    // Name table, right after the allocation table; kept whole.
    const qint64 fntOffset = fatOffset + fatSize;
    if (!tagAt(bytes, fntOffset, "BTNF"))
        return refuse(QStringLiteral("no name table (BTNF) after the allocation table"));
    if (fntOffset + 8 > size)
        return refuse(QStringLiteral("the name table is cut short"));
    narc.fntTag = qint32(u32At(bytes, fntOffset));
    narc.fntSize = qint32(u32At(bytes, fntOffset + 4));
    const qint64 fntSize = quint32(narc.fntSize);
    if (fntSize < 8 || fntOffset + fntSize > size)
        return refuse(QStringLiteral("the name table's size points outside the file"));
    narc.fntContent = bytes.mid(fntOffset + 8, fntSize - 8);

    // Image block, right after the name table.
    const qint64 imgOffset = fntOffset + fntSize;
    if (!tagAt(bytes, imgOffset, "GMIF"))
        return refuse(QStringLiteral("no image block (GMIF) after the name table"));
    if (imgOffset + 8 > size)
        return refuse(QStringLiteral("the image block is cut short"));
    narc.imgTag = qint32(u32At(bytes, imgOffset));
    narc.imgSize = qint32(u32At(bytes, imgOffset + 4));
    const qint64 dataOffset = imgOffset + 8;
    const qint64 dataBytes = size - dataOffset;

    // Every entry is read from its own start; the table was checked to fit above,
    // so the count is bounded by the input's size.
    narc.fileStarts.resize(qsizetype(narc.fileCount));
    narc.fileEnds.resize(qsizetype(narc.fileCount));
    narc.files.reserve(qsizetype(narc.fileCount));
    for (quint32 i = 0; i < narc.fileCount; ++i) {
        const qint64 start = u32At(bytes, fatOffset + 12 + 8 * qint64(i));
        const qint64 end = u32At(bytes, fatOffset + 16 + 8 * qint64(i));
        if (end < start)
            return refuse(QStringLiteral("entry %1 ends before it starts").arg(i));
        if (end > dataBytes)
            return refuse(QStringLiteral("entry %1 lies outside the file").arg(i));
        narc.fileStarts[i] = int(start);
        narc.fileEnds[i] = int(end);
        const char *first = bytes.constData() + dataOffset + start;
        narc.files.append(NarcEntry(first, first + (end - start)));
    }
    return result;
}
