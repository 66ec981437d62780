#include "check/width.h"

#include "codec/escape.h"
#include "report/lines.h"

#include <QRegularExpression>

#include <unicode/uchar.h>

namespace core {

int characterWidth(char32_t codePoint)
{
    // Nothing below U+1100 is wide; most text never asks ICU.
    if (codePoint < 0x1100)
        return 1;
    switch (u_getIntPropertyValue(UChar32(codePoint), UCHAR_EAST_ASIAN_WIDTH)) {
    case U_EA_FULLWIDTH:
    case U_EA_WIDE:
        return 2;
    default:
        return 1;
    }
}

QList<TextRow> textRows(QStringView lineText, const QList<quint16> &breaks)
{
    QList<TextRow> rows;
    TextRow row;
    char16_t high = 0; // a high surrogate waiting for its partner
    const auto settleHigh = [&] {
        if (high) {
            row.width += 1;
            high = 0;
        }
    };
    walkEscapedText(
        lineText,
        [&](qsizetype, quint16 unit) {
            if (high && QChar::isLowSurrogate(unit)) {
                row.width += characterWidth(QChar::surrogateToUcs4(high, unit));
                high = 0;
                return;
            }
            settleHigh();
            if (QChar::isHighSurrogate(unit))
                high = unit;
            else
                row.width += characterWidth(unit);
        },
        [&](qsizetype at, int value) {
            settleHigh();
            if (value >= 0 && breaks.contains(quint16(value))) {
                row.end = at;
                rows.append(row);
                row = TextRow();
                row.start = qMin(at + 6, lineText.size());
            }
        });
    settleHigh();
    row.end = lineText.size();
    rows.append(row);
    return rows;
}

Result<QList<quint16>> parseEscapeList(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    QList<quint16> units;
    for (const QString &part : text.split(separators, Qt::SkipEmptyParts)) {
        // One escape and nothing else.
        int value = -1;
        int escapes = 0;
        int plain = 0;
        walkEscapedText(
            part, [&](qsizetype, quint16) { ++plain; },
            [&](qsizetype, int found) {
                value = found;
                ++escapes;
            });
        if (plain != 0 || escapes != 1 || value < 0)
            return Result<QList<quint16>>::failure(notAnEscapeReason(part));
        if (!units.contains(quint16(value)))
            units.append(quint16(value));
    }
    return Result<QList<quint16>>::success(units);
}

} // namespace core
