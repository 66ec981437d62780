#include "codec/compose.h"

#include "codec/encode.h"
#include "codec/linetable.h"
#include "codec/messageheader.h"
#include "base/result.h"

#include <QtEndian>

#include <cstring>
#include <limits>

namespace core {

namespace {

// Whether the blocks can be laid out again in order.
Status checkLayout(const MessageHeader &head)
{
    qint64 end = 12 + 4 * qint64(head.sectionCount);
    for (int s = 0; s < head.sectionCount; ++s) {
        const qint64 offset = head.sectionOffsets.at(s);
        if (offset < end)
            return Status::failure(s == 0 ? QStringLiteral("section 0 starts inside the header")
                                          : QStringLiteral("section %1 overlaps or precedes section %2").arg(s).arg(s - 1));
        end = offset + head.blockSizes.at(s);
    }
    return Status::success();
}

} // namespace

EditedLines::EditedLines(QStringView text)
    : m_text(text)
{
    static constexpr char16_t crlf[] = u"\r\n";
    const qsizetype cr = text.indexOf(u'\r');
    if (cr < 0)
        m_separator = QStringView(crlf + 1, 1);
    else if (text.indexOf(QStringView(crlf, 2), cr) >= 0)
        m_separator = QStringView(crlf, 2);
    else
        m_separator = QStringView(crlf, 1);
}

bool EditedLines::next(QStringView *line)
{
    if (m_done)
        return false;
    const qsizetype end = m_separator.size() == 1 ? m_text.indexOf(m_separator.front(), m_pos)
                                                  : m_text.indexOf(m_separator, m_pos);
    if (end < 0) {
        *line = m_text.sliced(m_pos);
        m_done = true;
    } else {
        *line = m_text.sliced(m_pos, end - m_pos);
        m_pos = end + m_separator.size();
    }
    return true;
}

bool EditedLines::restIsEmpty() const
{
    if (m_done)
        return true;
    const qsizetype width = m_separator.size();
    const qsizetype left = m_text.size() - m_pos;
    if (left % width != 0)
        return false;
    for (qsizetype at = m_pos; at < m_text.size(); at += width) {
        if (m_text.sliced(at, width) != m_separator)
            return false;
    }
    return true;
}

qsizetype EditedLines::linesLeft() const
{
    EditedLines rest = *this;
    qsizetype parts = 0;
    qsizetype upToLastText = 0;
    QStringView line;
    while (rest.next(&line)) {
        ++parts;
        if (!line.isEmpty())
            upToLastText = parts;
    }
    return upToLastText;
}

ComposeResult composeEntry(const NarcEntry &entry, const QString &editedText, int section)
{
    ComposeResult result;
    result.entry = entry;
    const auto refuse = [&](TextRefusal::Kind kind) -> TextRefusal & {
        result.reason = TextRefusal();
        result.reason.kind = kind;
        return result.reason;
    };
    const auto unreadable = [&](const QString &why) {
        refuse(TextRefusal::Kind::Unreadable).detail = why;
        return result;
    };
    if (section < 0) {
        refuse(TextRefusal::Kind::NoSuchSection);
        return result;
    }

    const MessageHeaderRead read = readMessageHeader(entry);
    const MessageHeader &head = read.header;
    // An empty entry holds no sections; anything else needs its fixed fields.
    if (entry.isEmpty() || (entry.size() >= 12 && section >= head.sectionCount)) {
        refuse(TextRefusal::Kind::NoSuchSection);
        return result;
    }
    if (!read.ok())
        return unreadable(read.reason);
    const Status layout = checkLayout(head);
    if (!layout)
        return unreadable(layout.reason);
    // The keys and attributes of the lines as stored; their text is not needed.
    const SectionLineTable table = readSectionLineTable(entry, head, section);
    if (!table.ok())
        return unreadable(table.reason);

    // The new entry is written in place: head and the bytes up to section 0 as
    // they are, then the blocks back to back, the new one encoded where it goes.
    const int lineCount = head.lineCount;
    const qint64 prefix = head.sectionOffsets.at(0);
    qint64 others = 0;
    for (int s = 0; s < head.sectionCount; ++s)
        others += s == section ? 0 : qint64(head.blockSizes.at(s));
    const qint64 room = prefix + others + SectionBlockWriter::maxBlockSize(lineCount, editedText.size());
    if (room > std::numeric_limits<qint32>::max()) {
        TextRefusal &why = refuse(TextRefusal::Kind::TooLarge);
        why.count = room;
        why.limit = std::numeric_limits<qint32>::max();
        return result;
    }
    NarcEntry out(static_cast<qsizetype>(room));
    char *data = out.data();
    std::memcpy(data, entry.constData(), size_t(prefix));
    QVector<quint32> newOffsets(head.sectionCount);
    qint64 at = prefix;
    const auto copySection = [&](int s) {
        newOffsets[s] = quint32(at);
        std::memcpy(data + at, entry.constData() + head.sectionOffsets.at(s), size_t(head.blockSizes.at(s)));
        at += head.blockSizes.at(s);
    };
    for (int s = 0; s < section; ++s)
        copySection(s);

    newOffsets[section] = quint32(at);
    SectionBlockWriter writer(data + at, lineCount);
    EditedLines lines(editedText);
    QStringView line;
    int given = 0;
    while (given < lineCount && lines.next(&line)) {
        const LineRecord &record = table.lines.at(given);
        writer.addLine(line, record.key, record.attribute);
        ++given;
    }
    if (given < lineCount) {
        refuse(TextRefusal::Kind::TooFewLines);
        return result;
    }
    if (!lines.restIsEmpty()) {
        TextRefusal &why = refuse(TextRefusal::Kind::TooManyLines);
        why.count = lineCount + lines.linesLeft();
        why.limit = lineCount;
        return result;
    }
    const qint64 blockSize = writer.finish();
    if (writer.refusal().refused()) {
        result.reason = writer.refusal();
        return result;
    }
    at += blockSize;
    for (int s = section + 1; s < head.sectionCount; ++s)
        copySection(s);
    if (section == 0)
        qToLittleEndian<quint32>(quint32(blockSize), data + 4);
    for (int s = 0; s < head.sectionCount; ++s)
        qToLittleEndian<quint32>(newOffsets.at(s), data + 12 + 4 * s);
    // Give back the room left by escapes (six characters for one unit): the entry
    // is kept, and realloc shrinks it in place.
    out.resize(qsizetype(at));
    out.squeeze();

    result.entry = std::move(out);
    return result;
}

} // namespace core
