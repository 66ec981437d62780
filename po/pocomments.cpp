#include "po/pocomments.h"

#include <QList>

#include <cstring>
#include <utility>

namespace core {

namespace po {

namespace {

enum class LineKind {
    Blank,   // spaces and tabs only
    Unused,  // "#.", "#:" or "# ": a comment nothing reads
    Comment, // another comment ("#,", "#" alone, ...), kept
    Start,   // msgctxt or msgid: a message begins
    Msgstr,  // msgstr or msgstr[n]
    String,  // a string continuing the keyword before
    Other    // anything else: obsolete or previous lines, indented keywords, errors
};

bool startsWithKeyword(QByteArrayView line, const char *keyword, const char *followers)
{
    const qsizetype length = qsizetype(std::strlen(keyword));
    return line.size() > length && std::memcmp(line.data(), keyword, size_t(length)) == 0
           && std::strchr(followers, line[length]) != nullptr && line[length] != '\0';
}

LineKind kindOf(QByteArrayView line)
{
    if (line.isEmpty())
        return LineKind::Blank;
    const char first = line[0];
    if (first == '#') {
        if (line.size() < 2)
            return LineKind::Comment;
        const char second = line[1];
        if (second == '~' || second == '|')
            return LineKind::Other;
        if (second != '.' && second != ':' && second != ' ')
            return LineKind::Comment;
        // A NUL byte or a lone carriage return: not certainly one comment line.
        const qsizetype body = line.endsWith('\r') ? line.size() - 1 : line.size();
        if (std::memchr(line.data(), '\0', size_t(line.size())) || std::memchr(line.data(), '\r', size_t(body)))
            return LineKind::Other;
        return LineKind::Unused;
    }
    if (first == '"')
        return LineKind::String;
    if (startsWithKeyword(line, "msgctxt", " \t\"") || startsWithKeyword(line, "msgid", " \t\""))
        return LineKind::Start;
    if (startsWithKeyword(line, "msgstr", " \t\"["))
        return LineKind::Msgstr;
    for (const char c : line) {
        if (c != ' ' && c != '\t' && c != '\r')
            return LineKind::Other;
    }
    return LineKind::Blank;
}

} // namespace

QByteArray withoutUnusedComments(QByteArrayView bytes)
{
    QByteArray out;
    qsizetype copied = 0; // bytes [0, copied) are in `out`, or dropped
    // Unused comment lines [start, end) since the last line that was neither
    // blank nor a comment, while that line ended a message.
    QList<std::pair<qsizetype, qsizetype>> waiting;
    bool betweenMessages = true;
    const auto drop = [&] {
        for (const auto &[start, end] : std::as_const(waiting)) {
            if (out.isNull())
                out.reserve(bytes.size());
            out.append(bytes.data() + copied, start - copied);
            copied = end;
        }
        waiting.clear();
    };
    const char *data = bytes.data();
    const qsizetype size = bytes.size();
    for (qsizetype at = 0; at < size;) {
        const void *lineBreak = std::memchr(data + at, '\n', size_t(size - at));
        const qsizetype end = lineBreak ? static_cast<const char *>(lineBreak) - data : size;
        switch (kindOf(QByteArrayView(data + at, end - at))) {
        case LineKind::Blank:
        case LineKind::Comment:
            break;
        case LineKind::Unused:
            if (betweenMessages)
                waiting.append({at, end});
            break;
        case LineKind::Start:
            if (betweenMessages)
                drop();
            waiting.clear();
            betweenMessages = false;
            break;
        case LineKind::Msgstr:
            waiting.clear();
            betweenMessages = true;
            break;
        case LineKind::String:
            waiting.clear(); // a string after a comment: no line of it is dropped
            break;
        case LineKind::Other:
            waiting.clear();
            betweenMessages = false;
            break;
        }
        at = end + 1;
    }
    if (betweenMessages)
        drop();
    if (!out.isNull())
        out.append(data + copied, size - copied);
    return out;
}

} // namespace po

} // namespace core
