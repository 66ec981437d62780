#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace core {

namespace po {

// PO text written directly, as gettext's own tools write it with --no-wrap: UTF-8,
// one line per string (a string holding line breaks is split after each, behind
// an empty first line, as gettext splits it), and the PO escapes: backslash,
// double quote, \a \b \f \n \r \t \v, and \ooo for the other control characters.

// Appends `keyword "text"` and a line break; `text` is UTF-8.
void appendPoString(QByteArray &out, const char *keyword, QByteArrayView text);

// Writes `text` (UTF-8, no line break) at `out` in double quotes with the PO
// escapes, which needs room for 4 * text.size() + 2 bytes; returns the end.
char *putPoQuoted(char *out, QByteArrayView text);

// Appends one comment line per line of `text` behind `marker` ("#" for
// translators' comments, "#." for extracted ones): "#. text", or the marker alone
// for an empty line.
void appendPoComments(QByteArray &out, const char *marker, QByteArrayView text);

} // namespace po

} // namespace core
