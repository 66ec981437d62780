#include "codec/escape.h"

#include <QChar>
#include <QVarLengthArray>

#include <array>

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

bool isSurrogate(quint16 unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Whether a unit that is not a surrogate shows escaped, asked of Qt's character data.
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

// One bit per unit: set for units that do not show as themselves, surrogates
// included (whether those show depends on their neighbour).
using UnitTable = std::array<quint64, 65536 / 64>;

const UnitTable &specialUnits()
{
    static const UnitTable table = [] {
        UnitTable bits{};
        for (int unit = 0; unit < 65536; ++unit) {
            if (isSurrogate(quint16(unit)) || needsEscape(quint16(unit)))
                bits[unit >> 6] |= quint64(1) << (unit & 63);
        }
        return bits;
    }();
    return table;
}

bool isSpecial(const UnitTable &table, quint16 unit)
{
    return (table[unit >> 6] >> (unit & 63)) & 1;
}

QChar *writeEscape(quint16 unit, QChar *out)
{
    out[0] = QChar(u'\\');
    out[1] = QChar(u'x');
    out[2] = QChar(hexDigits[(unit >> 12) & 0xF]);
    out[3] = QChar(hexDigits[(unit >> 8) & 0xF]);
    out[4] = QChar(hexDigits[(unit >> 4) & 0xF]);
    out[5] = QChar(hexDigits[unit & 0xF]);
    return out + 6;
}

} // namespace

qsizetype writeEscapedText(const quint16 *units, qsizetype count, QChar *out)
{
    const UnitTable &table = specialUnits();
    QChar *const start = out;
    for (qsizetype i = 0; i < count; ++i) {
        const quint16 unit = units[i];
        if (!isSpecial(table, unit)) {
            *out++ = QChar(unit);
            continue;
        }
        if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(units[i + 1])) {
            *out++ = QChar(unit);
            *out++ = QChar(units[++i]);
            continue;
        }
        out = writeEscape(unit, out);
    }
    return out - start;
}

QString escapeLineText(const quint16 *units, int count)
{
    if (count <= 0)
        return QString();
    // Sized exactly, so the line is allocated once.
    const UnitTable &table = specialUnits();
    qsizetype length = 0;
    for (int i = 0; i < count; ++i) {
        const quint16 unit = units[i];
        if (!isSpecial(table, unit))
            length += 1;
        else if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(units[i + 1]))
            length += 2, ++i;
        else
            length += 6;
    }
    QString text(length, Qt::Uninitialized);
    writeEscapedText(units, count, text.data());
    return text;
}

bool showsAsEscape(quint16 unit)
{
    return isSpecial(specialUnits(), unit);
}

QString shownLineText(QStringView lineText)
{
    QVarLengthArray<quint16, 256> units;
    parseEscapedText(lineText, [&](quint16 unit) { units.append(unit); });
    return escapeLineText(units.constData(), int(units.size()));
}

QString quoteBadEscape(QStringView lineText, qsizetype at)
{
    return QLatin1Char('"') + lineText.mid(at, 6).toString() + QLatin1Char('"');
}

} // namespace core
