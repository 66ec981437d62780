#include "check/width.h"

#include "codec/escape.h"
#include "report/lines.h"

#include <QRegularExpression>

#include <unicode/uchar.h>

namespace core {

namespace {

// Walks escaped text cell by cell, by the codec's escape rules: `cell(at, width)`
// for each character (a surrogate pair is one, at its first unit) and each escape
// that breaks no line (width 0), `rowBreak(at)` for each escape in `breaks`, which
// is six characters long.
template<typename Cell, typename RowBreak>
void walkCells(QStringView lineText, const QList<quint16> &breaks, Cell &&cell, RowBreak &&rowBreak)
{
    qsizetype high = -1; // where a high surrogate waits for its partner
    const auto settleHigh = [&] {
        if (high >= 0) {
            cell(high, 1);
            high = -1;
        }
    };
    walkEscapedText(
        lineText,
        [&](qsizetype at, quint16 unit) {
            if (high >= 0 && QChar::isLowSurrogate(unit)) {
                cell(high, characterWidth(QChar::surrogateToUcs4(lineText.at(high).unicode(), unit)));
                high = -1;
                return;
            }
            settleHigh();
            if (QChar::isHighSurrogate(unit))
                high = at;
            else
                cell(at, characterWidth(unit));
        },
        [&](qsizetype at, int value) {
            settleHigh();
            if (value >= 0 && breaks.contains(quint16(value)))
                rowBreak(at);
            else
                cell(at, 0);
        });
    settleHigh();
}

} // namespace

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
    walkCells(
        lineText, breaks, [&](qsizetype, int width) { row.width += width; },
        [&](qsizetype at) {
            row.end = at;
            rows.append(row);
            row = TextRow();
            row.start = qMin(at + 6, lineText.size());
        });
    row.end = lineText.size();
    rows.append(row);
    return rows;
}

qsizetype overflowStart(QStringView lineText, const TextRow &row, int limit)
{
    if (row.width <= limit)
        return row.end;
    qsizetype start = row.end;
    int width = 0;
    walkCells(
        lineText.sliced(row.start, row.end - row.start), {},
        [&](qsizetype at, int cellWidth) {
            width += cellWidth;
            if (width > limit && start == row.end)
                start = row.start + at;
        },
        [](qsizetype) {});
    return start;
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
