#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace core {

// The escaped line syntax: every plain 16-bit unit shows as its own character,
// except units no text file or text widget can carry unchanged, which show as
// "\x" and four lowercase hex digits: control units 0x0000-0x0014, 0xFFF1-0xFFFF,
// 0xF000, units Unicode leaves unassigned, the backslash itself, lone surrogates,
// 0xFEFF, 0x2028 and 0x2029. A surrogate pair shows as the character it forms.

// Whether `unit` is one of those shown as an escape (a surrogate counts, whether
// or not it has a partner).
bool showsAsEscape(quint16 unit);

// Writes the text of exactly these plain units to `out`, which has room for
// 6 * count characters, and returns the number of characters written.
qsizetype writeEscapedText(const quint16 *units, qsizetype count, QChar *out);

// The text of exactly these plain units: every unit shows, a 0xFFFF as "\xffff".
// The decoder strips a line's terminator (and the padding unit) before calling this.
QString escapeLineText(const quint16 *units, int count);

// The line `lineText` (escaped) as the editor shows it once stored: a unit
// written as an escape that shows as itself ("\x0041") appears plainly, one
// typed plainly that shows as an escape appears escaped. Two lines that store the
// same units show the same. A backslash that starts no escape shows as "\x0000".
QString shownLineText(QStringView lineText);

// Parsing escaped text back into plain units (no terminator added).
//
// A character other than a backslash is its own unit. A backslash whose
// next-but-one character is '{' is an ordinary backslash (0x005C). Any other
// backslash starts an escape of six characters: the one after the backslash is
// skipped unexamined, the next four must be ASCII hex digits of either case. An
// escape with anything else there, or cut short by the end of the line, starts no
// escape: the parse reports where it is (composing refuses such text) and gives
// the unit 0 for it.

// The backslash at `at` and up to five characters after it, in double quotes: how
// reports show a backslash that starts no escape.
QString quoteBadEscape(QStringView lineText, qsizetype at);

// The value of four ASCII hex digits at `digits`, or -1 when they are not that.
inline int hexQuad(const QChar *digits)
{
    int value = 0;
    for (int k = 0; k < 4; ++k) {
        const char16_t c = digits[k].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return -1;
        value = value << 4 | digit;
    }
    return value;
}

// Walks one escaped line from left to right as the parse reads it. Each plain
// character (an ordinary backslash included) goes to `plain(at, unit)`; each
// escape, six characters from `at` (fewer when the line ends first), goes to
// `escape(at, value)`, with value -1 for a backslash that starts no escape.
// Returns the position of the first backslash that starts no escape, or -1.
template <typename Plain, typename Escape>
inline qsizetype walkEscapedText(QStringView lineText, Plain &&plain, Escape &&escape)
{
    const QChar *text = lineText.data();
    const qsizetype length = lineText.size();
    qsizetype bad = -1;
    qsizetype i = 0;
    while (i < length) {
        const char16_t c = text[i].unicode();
        if (c != u'\\') {
            plain(i, quint16(c));
            ++i;
            continue;
        }
        if (i + 2 < length && text[i + 2] == u'{') {
            plain(i, quint16(0x005C));
            ++i;
            continue;
        }
        // The character after the backslash is not looked at; the four after it
        // are the number.
        const int value = i + 6 <= length ? hexQuad(text + i + 2) : -1;
        if (value < 0 && bad < 0)
            bad = i;
        escape(i, value);
        i += 6;
    }
    return bad;
}

// Parses one escaped line, handing each unit to `put` in order (the unit 0 for a
// backslash that starts no escape). Returns the position of the first backslash
// that starts no escape, or -1.
template <typename Put>
inline qsizetype parseEscapedText(QStringView lineText, Put &&put)
{
    return walkEscapedText(
        lineText, [&](qsizetype, quint16 unit) { put(unit); },
        [&](qsizetype, int value) { put(quint16(value < 0 ? 0 : value)); });
}

// Walks escaped text from left to right, as parseEscapedText reads it, to tell
// whether positions, asked in increasing order, lie inside an escape: after its
// backslash and before its end. Linear in the text over all calls.
class EscapeSpans
{
public:
    explicit EscapeSpans(QStringView text)
        : m_text(text)
    {
    }

    bool inside(qsizetype at)
    {
        for (;;) {
            if (m_backslash < m_next) {
                m_backslash = m_text.indexOf(u'\\', m_next);
                if (m_backslash < 0)
                    m_backslash = m_text.size();
            }
            if (m_backslash > at || m_backslash >= m_text.size())
                return m_start < at && at < m_end;
            const qsizetype b = m_backslash;
            if (b + 2 < m_text.size() && m_text[b + 2] == u'{') {
                m_next = b + 1; // an ordinary backslash
                continue;
            }
            m_start = b;
            m_end = qMin(b + 6, m_text.size());
            m_next = b + 6;
        }
    }

private:
    QStringView m_text;
    qsizetype m_next = 0;       // the first character not yet walked past
    qsizetype m_backslash = -1; // the first backslash at or after m_next, once looked for
    qsizetype m_start = -1;     // the last escape walked past: [m_start, m_end)
    qsizetype m_end = -1;
};

} // namespace core
