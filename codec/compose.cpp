#include "codec/compose.h"

#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/messageheader.h"
#include "narc/bytebuffer.h"

#include <cstring>
#include <limits>

namespace core {

namespace {

// "SSSS/EEEE": section and entry, zero padded to at least four digits.
QString place(int section, int entryIndex)
{
    return QStringLiteral("%1/%2").arg(section, 4, 10, QChar(u'0')).arg(entryIndex, 4, 10, QChar(u'0'));
}

// Why the blocks cannot be laid out again in order, or an empty string.
QString layoutProblem(const MessageHeader &head)
{
    qint64 end = 12 + 4 * qint64(head.sectionCount);
    for (int s = 0; s < head.sectionCount; ++s) {
        const qint64 offset = head.sectionOffsets.at(s);
        if (offset < end)
            return s == 0 ? QStringLiteral("section 0 starts inside the header")
                          : QStringLiteral("section %1 overlaps or precedes section %2").arg(s).arg(s - 1);
        end = offset + head.blockSizes.at(s);
    }
    return {};
}

} // namespace

QStringList splitEditedText(const QString &text)
{
    if (text.contains(QStringLiteral("\r\n")))
        return text.split(QStringLiteral("\r\n"), Qt::KeepEmptyParts);
    if (text.contains(u'\r'))
        return text.split(u'\r', Qt::KeepEmptyParts);
    return text.split(u'\n', Qt::KeepEmptyParts);
}

ComposeResult composeEntry(const NarcEntry &entry, const QString &editedText, int entryIndex, int section)
{
    ComposeResult result;
    result.entry = entry;
    if (section < 0)
        return result;

    const auto malformed = [&](const QString &reason) {
        result.status = ComposeResult::Status::Malformed;
        result.report = QStringLiteral("Skipping %1: the message file cannot be read (%2)")
                            .arg(place(section, entryIndex), reason);
        return result;
    };

    const MessageHeaderRead read = readMessageHeader(entry);
    const MessageHeader &head = read.header;
    // An empty entry holds no sections; anything else needs its fixed fields.
    if (entry.isEmpty() || (entry.size() >= 12 && section >= head.sectionCount))
        return result;
    if (!read.ok())
        return malformed(read.error);
    const QString problem = layoutProblem(head);
    if (!problem.isEmpty())
        return malformed(problem);
    const DecodedSection decoded = decodeMessageSection(entry, section);
    if (!decoded.error.isEmpty())
        return malformed(decoded.error);

    const QStringList lines = splitEditedText(editedText);
    if (lines.size() < head.lineCount) {
        result.status = ComposeResult::Status::TooFewLines;
        result.report = QStringLiteral("Skipping %1 due to too few lines").arg(place(section, entryIndex));
        return result;
    }

    const EncodedSection encoded = encodeSection(lines, head.lineCount, decoded.lineKeys, decoded.lineAttributes);
    if (!encoded.ok()) {
        result.status = ComposeResult::Status::LineTooLong;
        result.report = QStringLiteral("Skipping %1: %2").arg(place(section, entryIndex), encoded.error);
        return result;
    }

    // Head and the bytes up to section 0 as they are, then the blocks back to back.
    const qint64 prefix = head.sectionOffsets.isEmpty() ? 0 : head.sectionOffsets.at(0);
    qint64 newSize = prefix;
    for (int s = 0; s < head.sectionCount; ++s)
        newSize += s == section ? encoded.block.size() : qint64(head.blockSizes.at(s));
    if (newSize > std::numeric_limits<qint32>::max()) {
        result.status = ComposeResult::Status::LineTooLong;
        result.report = QStringLiteral("Skipping %1: the message file would be too large (%2 bytes)")
                            .arg(place(section, entryIndex))
                            .arg(newSize);
        return result;
    }

    // Sized at construction: growing an empty vector would reserve room to spare.
    ByteBuffer out(QVector<char>(qsizetype(newSize), '\0'));
    char *data = out.bytes.data();
    std::memcpy(data, entry.constData(), size_t(prefix));
    QVector<quint32> newOffsets(head.sectionCount);
    qint64 at = prefix;
    for (int s = 0; s < head.sectionCount; ++s) {
        newOffsets[s] = quint32(at);
        const char *source = s == section ? encoded.block.constData() : entry.constData() + head.sectionOffsets.at(s);
        const qint64 size = s == section ? encoded.block.size() : qint64(head.blockSizes.at(s));
        std::memcpy(data + at, source, size_t(size));
        at += size;
    }
    if (section == 0) {
        out.pos = 4;
        out << quint32(encoded.block.size());
    }
    out.pos = 12;
    for (const quint32 offset : std::as_const(newOffsets))
        out << offset;

    result.status = ComposeResult::Status::Replaced;
    result.entry = std::move(out.bytes);
    return result;
}

} // namespace core
