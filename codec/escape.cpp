#include "codec/escape.h"

#include <QChar>
#include <QStringView>

namespace core {

namespace {

constexpr char16_t hexDigits[] = u"0123456789abcdef";

bool isHighSurrogate(quint16 unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(quint16 unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Whether a unit that is not a surrogate shows escaped.
bool needsEscape(quint16 unit)
{
    if (unit <= 0x0014 || unit >= 0xFFF1)
        return true;
    switch (unit) {
    case 0x005C: // the backslash starts escapes, so it cannot show as itself
    case 0xF000:
    case 0xFEFF: // dropped or swallowed as a byte order mark by editors
    case 0x2028: // line and paragraph separators break lines in text widgets
    case 0x2029:
        return true;
    default:
        return QChar::unicodeVersion(char32_t(unit)) == QChar::Unicode_Unassigned;
    }
}

} // namespace

QString escapeLineText(const quint16 *units, int count)
{
    QString text;
    if (count <= 0)
        return text;
    // One character per unit is the common case; grow only when escapes need it.
    text.resize(count);
    QChar *out = text.data();
    qsizetype written = 0;
    for (int i = 0; i < count; ++i) {
        if (written + 6 > text.size()) {
            text.resize(qMax<qsizetype>(text.size() * 2, written + 6 + (count - i)));
            out = text.data();
        }
        const quint16 unit = units[i];
        bool escape;
        if (isHighSurrogate(unit)) {
            if (i + 1 < count && isLowSurrogate(units[i + 1])) {
                out[written++] = QChar(unit);
                out[written++] = QChar(units[++i]);
                continue;
            }
            escape = true;
        } else {
            escape = isLowSurrogate(unit) || needsEscape(unit);
        }
        if (!escape) {
            out[written++] = QChar(unit);
            continue;
        }
        out[written++] = QChar(u'\\');
        out[written++] = QChar(u'x');
        out[written++] = QChar(hexDigits[(unit >> 12) & 0xF]);
        out[written++] = QChar(hexDigits[(unit >> 8) & 0xF]);
        out[written++] = QChar(hexDigits[(unit >> 4) & 0xF]);
        out[written++] = QChar(hexDigits[unit & 0xF]);
    }
    text.resize(written);
    return text;
}

void appendEscapedLine(const QString &lineText, QVector<quint16> &units)
{
    const qsizetype length = lineText.size();
    const QChar *text = lineText.constData();
    units.reserve(units.size() + length);
    qsizetype i = 0;
    while (i < length) {
        const QChar c = text[i];
        if (c != u'\\') {
            units.append(c.unicode());
            ++i;
            continue;
        }
        if (i + 2 < length && text[i + 2] == u'{') {
            units.append(0x005C);
            ++i;
            continue;
        }
        // The character after the backslash is not looked at; the four after it
        // are the number. An escape cut short by the end of the line is 0.
        bool ok = false;
        const ushort value = i + 6 <= length ? QStringView(text + i + 2, 4).toUShort(&ok, 16) : 0;
        units.append(ok ? quint16(value) : quint16(0));
        i += 6;
    }
}

QVector<quint16> parseEscapedLine(const QString &lineText)
{
    QVector<quint16> units;
    appendEscapedLine(lineText, units);
    return units;
}

} // namespace core
