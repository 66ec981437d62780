#pragma once

// Comment lines of a PO file that nothing here reads, taken out before gettext's
// library reads the file: it keeps every comment of every message, and a
// template written for translators has several per message.

#include <QByteArray>
#include <QByteArrayView>

namespace core {

namespace po {

// `bytes` with the text of each extracted comment ("#."), reference ("#:") and
// translator comment ("# ") line removed where the line stands between two
// messages: after a msgstr and its strings (or at the start of the file), with
// only blank and comment lines up to a msgctxt or msgid line (or the end). Its
// line break stays, so every line keeps its number. Lines anywhere else, flags
// ("#,"), obsolete ("#~") and previous ("#|") lines are left as they are, and so
// is a comment holding a NUL byte or a carriage return before its end. Null when
// nothing was removed.
//
// Where such a line stands, gettext's grammar takes it as a comment between
// messages, which changes no message; a comment anywhere else is its error. The
// lines are told apart by their first bytes, which in a character set whose line
// breaks are the byte 0x0A begin a character; a caller that reads the result
// with another character set, or gets any report for it, reads the file itself.
QByteArray withoutUnusedComments(QByteArrayView bytes);

} // namespace po

} // namespace core
