#include "po/powriter.h"

namespace core {

namespace po {

namespace {

void appendQuoted(QByteArray &out, QByteArrayView text)
{
    out += '"';
    qsizetype plain = 0; // start of the bytes not yet copied
    for (qsizetype i = 0; i < text.size(); ++i) {
        const uchar c = uchar(text[i]);
        if (c >= 0x20 && c != 0x7F && c != '\\' && c != '"')
            continue;
        out.append(text.data() + plain, i - plain);
        plain = i + 1;
        out += '\\';
        switch (c) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case '\a': out += 'a'; break;
        case '\b': out += 'b'; break;
        case '\f': out += 'f'; break;
        case '\n': out += 'n'; break;
        case '\r': out += 'r'; break;
        case '\t': out += 't'; break;
        case '\v': out += 'v'; break;
        default:
            out += char('0' + (c >> 6));
            out += char('0' + ((c >> 3) & 7));
            out += char('0' + (c & 7));
            break;
        }
    }
    out.append(text.data() + plain, text.size() - plain);
    out += "\"\n";
}

} // namespace

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
