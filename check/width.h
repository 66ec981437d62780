#pragma once

#include "base/result.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

namespace core {

// How wide a line shows in a game's text box, counted in characters.
//
// A message line shows as one or more rows: a row ends at the end of the line and
// at each escape the user names as a line break (whatever unit the game breaks
// lines at, \x000a for example). Within a row, a character of East Asian Width
// Fullwidth or Wide (kanji, kana, fullwidth Latin) counts 2, any other character
// 1, and every other escape (a control code, a marker) 0. An escape that stands
// for a printed character, the backslash ("\x005c") or a character typed as an
// escape ("\x0041"), counts as that character: the game draws it. A surrogate pair is one
// character, counted by the code point it forms. Nothing here refuses text: the
// width is a check only.

// The width limit and the escapes that break lines. A limit of 0 or less checks
// nothing.
struct WidthRule
{
    int limit = 0;
    QList<quint16> breaks; // units whose escape ends a row

    bool active() const { return limit > 0; }
};

// The columns one character takes: 2 for East Asian Width F and W, else 1.
int characterWidth(char32_t codePoint);

// One row of an escaped line: characters [start, end) of the line's text (a
// breaking escape belongs to no row) and their width.
struct TextRow
{
    qsizetype start = 0;
    qsizetype end = 0;
    int width = 0;
};

// The rows of one line; a line of a few rows needs no allocation.
using TextRows = QVarLengthArray<TextRow, 4>;

// The rows of one escaped line as the editor shows it (or as a translation
// writes it), read by the codec's escape rules: at least one row, the last ending
// at the line's end. A backslash that starts no escape counts 0, as an escape.
TextRows textRows(QStringView lineText, const QList<quint16> &breaks);

// Where the part of `row` (a row of `lineText`) past `limit` starts: the first
// character that takes the row's width beyond it, or row.end when the row fits.
qsizetype overflowStart(QStringView lineText, const TextRow &row, int limit);

// The escapes a user names to break lines at: escapes as the editor shows them
// ("\x000a"), separated by spaces or commas; empty text names none. Each unit
// once, in the order given. A part that is not one whole escape is refused.
Result<QList<quint16>> parseEscapeList(const QString &text);

} // namespace core
