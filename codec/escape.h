#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace core {

// The escaped line syntax: every plain 16-bit unit shows as its own character,
// except units no text file or text widget can carry unchanged, which show as
// "\x" and four lowercase hex digits: control units 0x0000-0x0014, 0xFFF1-0xFFFF,
// 0xF000, units Unicode leaves unassigned, the backslash itself, lone surrogates,
// 0xFEFF, 0x2028 and 0x2029. A surrogate pair shows as the character it forms.

// The text of exactly these plain units: every unit shows, a 0xFFFF as "\xffff".
// The decoder strips a line's terminator (and the padding unit) before calling this.
QString escapeLineText(const quint16 *units, int count);

// Parses escaped text back into plain units (no terminator added).
//
// A character other than a backslash is its own unit. A backslash whose
// next-but-one character is '{' is an ordinary backslash (0x005C). Any other
// backslash starts an escape of six characters: the one after the backslash is
// skipped unexamined, the next four are read as a hex number (characters past the
// end count as U+0000); a number that does not parse gives 0.
QVector<quint16> parseEscapedLine(const QString &lineText);

// The same parse, appending to `units`.
void appendEscapedLine(const QString &lineText, QVector<quint16> &units);

} // namespace core
