#include "codec/compose.h"

#include "base/result.h"
#include "codec/encode.h"
#include "codec/linetable.h"
#include "codec/messageheader.h"

#include <QVarLengthArray>
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
            return Status::failure(
                s == 0 ? QStringLiteral("section 0 starts inside the header")
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

bool EditedLines::addNext(SectionBlockWriter &writer, LineKey key, quint16 attribute)
{
    if (m_done)
        return false;
    const qsizetype end = writer.addLineFrom(m_text, m_pos, m_separator.front().unicode(), m_separator.size() == 2, key,
                                             attribute);
    if (end >= m_text.size())
        m_done = true;
    else
        m_pos = end + m_separator.size();
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

namespace {

// Edited text given as UTF-8 bytes, split as EditedLines splits it. Each line
// is decoded to UTF-16 into one reused buffer as the bytes are walked: the split
// is found in the same pass. Bytes that are not plain UTF-8 text (invalid or cut
// sequences, U+0000, U+FEFF, noncharacters) end the lines and set invalid():
// composeEntry on the text as readEditedText decodes it says what they mean.
class Utf8Lines
{
public:
    explicit Utf8Lines(QByteArrayView text)
        : m_text(text)
    {
        const qsizetype cr = text.indexOf('\r');
        m_break = cr < 0 ? '\n' : '\r';
        m_crlf = cr >= 0 && text.indexOf("\r\n", cr) >= 0;
        m_units.resize(512);
    }

    bool invalid() const { return m_invalid; }

    // As EditedLines::addNext.
    bool addNext(SectionBlockWriter &writer, LineKey key, quint16 attribute)
    {
        QStringView line;
        if (!next(&line))
            return false;
        writer.addLine(line, key, attribute);
        return true;
    }

    bool next(QStringView *line)
    {
        if (m_done || m_invalid)
            return false;
        const uchar *const begin = reinterpret_cast<const uchar *>(m_text.data());
        const uchar *const end = begin + m_text.size();
        const uchar *p = begin + m_pos;
        char16_t *out = m_units.data();
        char16_t *room = out + m_units.size();
        for (;;) {
            if (Q_UNLIKELY(room - out < 2)) {
                const qsizetype used = out - m_units.data();
                m_units.resize(2 * m_units.size());
                out = m_units.data() + used;
                room = m_units.data() + m_units.size();
            }
            if (p == end) {
                m_done = true;
                break;
            }
            const uchar b = *p;
            if (b < 0x80) {
                if (b == m_break && (!m_crlf || (end - p >= 2 && p[1] == '\n'))) {
                    p += m_crlf ? 2 : 1;
                    break;
                }
                if (b == 0)
                    return fail();
                *out++ = b;
                ++p;
                continue;
            }
            const qsizetype left = end - p;
            if (b >= 0xC2 && b < 0xE0) {
                if (left < 2 || !continuation(p[1]))
                    return fail();
                *out++ = char16_t((b & 0x1F) << 6 | (p[1] & 0x3F));
                p += 2;
            } else if (b >= 0xE0 && b < 0xF0) {
                if (left < 3 || !continuation(p[1]) || !continuation(p[2]) || (b == 0xE0 && p[1] < 0xA0)
                    || (b == 0xED && p[1] >= 0xA0))
                    return fail();
                const char32_t c = char32_t(b & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
                if (c == 0xFEFF || (c >= 0xFDD0 && c <= 0xFDEF) || c >= 0xFFFE)
                    return fail();
                *out++ = char16_t(c);
                p += 3;
            } else if (b >= 0xF0 && b < 0xF5) {
                if (left < 4 || !continuation(p[1]) || !continuation(p[2]) || !continuation(p[3])
                    || (b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] >= 0x90))
                    return fail();
                const char32_t c = char32_t(b & 0x07) << 18 | char32_t(p[1] & 0x3F) << 12 | char32_t(p[2] & 0x3F) << 6
                                   | (p[3] & 0x3F);
                if ((c & 0xFFFE) == 0xFFFE)
                    return fail();
                *out++ = char16_t(0xD800 + ((c - 0x10000) >> 10));
                *out++ = char16_t(0xDC00 + (c & 0x3FF));
                p += 4;
            } else {
                return fail();
            }
        }
        m_pos = p - begin;
        *line = QStringView(m_units.data(), out - m_units.data());
        return true;
    }

    // As EditedLines::restIsEmpty: only line breaks are left, or nothing.
    bool restIsEmpty() const
    {
        if (m_done)
            return true;
        const QByteArrayView rest = m_text.sliced(m_pos);
        const qsizetype width = m_crlf ? 2 : 1;
        if (rest.size() % width != 0)
            return false;
        for (qsizetype at = 0; at < rest.size(); at += width) {
            if (rest[at] != m_break || (m_crlf && rest[at + 1] != '\n'))
                return false;
        }
        return true;
    }

    // As EditedLines::linesLeft: the parts left, up to the last that is not empty.
    qsizetype linesLeft() const
    {
        if (m_done)
            return 0;
        const QByteArrayView separator = m_crlf ? QByteArrayView("\r\n") : QByteArrayView(&m_break, 1);
        qsizetype parts = 0;
        qsizetype upToLastText = 0;
        qsizetype at = m_pos;
        for (;;) {
            const qsizetype end = m_text.indexOf(separator, at);
            ++parts;
            if ((end < 0 ? m_text.size() : end) > at)
                upToLastText = parts;
            if (end < 0)
                return upToLastText;
            at = end + separator.size();
        }
    }

private:
    static bool continuation(uchar b) { return (b & 0xC0) == 0x80; }

    bool fail()
    {
        m_invalid = true;
        return false;
    }

    QByteArrayView m_text;
    char m_break;
    bool m_crlf;
    qsizetype m_pos = 0;
    bool m_done = false;
    bool m_invalid = false;
    QVarLengthArray<char16_t, 512> m_units;
};

// The UTF-16 units valid UTF-8 bytes stand for: one per byte that starts a
// character, two for a character of four bytes.
qint64 utf16Length(QByteArrayView text)
{
    qint64 units = 0;
    for (const char c : text) {
        const uchar b = uchar(c);
        units += (b & 0xC0) != 0x80;
        units += b >= 0xF0;
    }
    return units;
}

// composeEntry for text of `characters` UTF-16 units in all, given line by line
// by `lines` (an EditedLines or a Utf8Lines).
template <typename Lines>
ComposeResult composeLines(EntryView entry, qint64 characters, Lines &lines, int section)
{
    // The entry is left empty when the text is refused: the callers that need
    // it unchanged put it back.
    ComposeResult result;
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
    const qint64 room = prefix + others + SectionBlockWriter::maxBlockSize(lineCount, characters);
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
    int given = 0;
    while (given < lineCount) {
        const LineRecord &record = table.lines.at(given);
        if (!lines.addNext(writer, record.key, record.attribute))
            break;
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
    // is kept. Copied by hand: QList::squeeze() does not check its allocation and
    // wrote through null when memory ran out; resize() throws std::bad_alloc.
    out.resize(qsizetype(at));
    if (out.capacity() > out.size()) {
        NarcEntry exact;
        exact.resize(out.size());
        std::memcpy(exact.data(), out.constData(), size_t(out.size()));
        out = std::move(exact);
    }

    result.entry = std::move(out);
    return result;
}

} // namespace

ComposeResult composeEntry(const NarcEntry &entry, const QString &editedText, int section)
{
    EditedLines lines(editedText);
    ComposeResult result = composeLines(entry, editedText.size(), lines, section);
    if (!result.changed())
        result.entry = entry;
    return result;
}

std::optional<NarcEntry> composeEntryUtf8(EntryView entry, QByteArrayView utf8, int section)
{
    Utf8Lines lines(utf8);
    ComposeResult result = composeLines(entry, utf16Length(utf8), lines, section);
    if (lines.invalid() || !result.changed())
        return std::nullopt;
    return std::move(result.entry);
}

} // namespace core
