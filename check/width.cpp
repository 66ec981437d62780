#include "check/width.h"

#include "codec/escape.h"
#include "report/lines.h"

#include <QRegularExpression>

#include <array>
#include <unicode/uchar.h>

namespace core {

namespace {

// The columns the unit an escape stands for takes: a printed character (the
// backslash, or a unit written as an escape though it shows as itself, such as
// "\x0041") as any character; a control code or marker none.
int escapeWidth(quint16 unit)
{
    return unit == 0x005C || !showsAsEscape(unit) ? characterWidth(unit) : 0;
}

// Walks escaped text cell by cell, by the codec's escape rules: `cell(at, width)`
// for each character (a surrogate pair is one, at its first unit) and each escape
// that breaks no line (see escapeWidth), `rowBreak(at)` for each escape in
// `breaks`, which is six characters long.
template <typename Cell, typename RowBreak>
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
                cell(at, value >= 0 ? escapeWidth(quint16(value)) : 0);
        });
    settleHigh();
}

} // namespace

namespace {

bool isWide(char32_t codePoint)
{
    switch (u_getIntPropertyValue(UChar32(codePoint), UCHAR_EAST_ASIAN_WIDTH)) {
    case U_EA_FULLWIDTH:
    case U_EA_WIDE:
        return true;
    default:
        return false;
    }
}

// One bit per code point of the Basic Multilingual Plane, set for the wide
// ones: ICU is asked once per code point, not once per character of a text.
using PlaneBits = std::array<quint64, 0x10000 / 64>;

const PlaneBits &wideInBasicPlane()
{
    static const PlaneBits bits = [] {
        PlaneBits wide{};
        for (char32_t c = 0x1100; c < 0x10000; ++c) { // nothing below U+1100 is wide
            if (isWide(c))
                wide[c >> 6] |= quint64(1) << (c & 63);
        }
        return wide;
    }();
    return bits;
}

} // namespace

int characterWidth(char32_t codePoint)
{
    if (codePoint < 0x10000)
        return (wideInBasicPlane()[codePoint >> 6] >> (codePoint & 63)) & 1 ? 2 : 1;
    return isWide(codePoint) ? 2 : 1;
}

TextRows textRows(QStringView lineText, const QList<quint16> &breaks)
{
    TextRows rows;
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
