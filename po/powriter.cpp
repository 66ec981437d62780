#include "po/powriter.h"

#include <cstring>

namespace core {

namespace po {

namespace {

// Whether a byte is written as an escape: the backslash, the double quote and
// the control characters.
constexpr bool escaped(uchar c)
{
    return c < 0x20 || c == 0x7F || c == '\\' || c == '"';
}

void appendQuoted(QByteArray &out, QByteArrayView text)
{
    const qsizetype start = out.size();
    out.resize(start + 4 * text.size() + 3);
    char *end = putPoQuoted(out.data() + start, text);
    *end++ = '\n';
    out.truncate(end - out.constData());
}

} // namespace

char *putPoQuoted(char *out, QByteArrayView text)
{
    static constexpr char letters[] = "abtnvfr"; // \a (7) to \r (13)
    *out++ = '"';
    const char *from = text.data();
    const char *const end = from + text.size();
    while (from < end) {
        // Plain bytes are copied in runs.
        const char *run = from;
        while (run < end && !escaped(uchar(*run)))
            ++run;
        std::memcpy(out, from, size_t(run - from));
        out += run - from;
        if (run == end)
            break;
        const uchar c = uchar(*run);
        *out++ = '\\';
        if (c == '\\' || c == '"')
            *out++ = char(c);
        else if (c >= 7 && c <= 13)
            *out++ = letters[c - 7];
        else {
            *out++ = char('0' + (c >> 6));
            *out++ = char('0' + ((c >> 3) & 7));
            *out++ = char('0' + (c & 7));
        }
        from = run + 1;
    }
    *out++ = '"';
    return out;
}

void appendPoString(QByteArray &out, const char *keyword, QByteArrayView text)
{
    out += keyword;
    out += ' ';
    const qsizetype firstBreak = text.indexOf('\n');
    if (firstBreak < 0 || firstBreak == text.size() - 1) {
        appendQuoted(out, text);
        return;
    }
    out += "\"\"\n";
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf('\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        appendQuoted(out, text.sliced(start, next - start));
        start = next;
    }
}

void appendPoComments(QByteArray &out, const char *marker, QByteArrayView text)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf('\n', start);
        const QByteArrayView line = text.sliced(start, (end < 0 ? text.size() : end) - start);
        out += marker;
        if (!line.isEmpty()) {
            out += ' ';
            out.append(line.data(), line.size());
        }
        out += '\n';
        if (end < 0 || end + 1 == text.size())
            return;
        start = end + 1;
    }
}

} // namespace po

} // namespace core
