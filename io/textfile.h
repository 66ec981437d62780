#pragma once

#include "base/result.h"
#include "io/regularfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

class QIODevice;

namespace core {

// Reading the text a user edited: the files of an import tree, the file
// `narctext set` is given and its standard input. Every one goes through
// readEditedText, with one rule:
//
// - A byte-order mark chooses UTF-8, UTF-16 or UTF-32 (either byte order) and is
//   not part of the text; without one the bytes are UTF-8.
// - Bytes that are not valid in that encoding give no text, never replacement
//   characters that would then be stored.
// - Text holding U+0000 is refused: no export writes a raw NUL, and UTF-16 text
//   without a byte-order mark, which is also valid UTF-8, is full of them.
// - The bytes are bounded by what a section of `lineCount` lines can hold in
//   escaped form (each line at most 65,535 units, each unit at most six
//   characters, "\xhhhh"), and never more than maxEditedTextBytes, so an endless
//   or huge input is refused before it takes memory.
// - Memory that cannot be had for the text is a refusal ("not enough memory").

// Line count to pass when the section's own is unknown: the most any can have.
constexpr int anyLineCount = 0xFFFF;

// The most bytes the text of one section may have, whatever its line count:
// 64 MiB, far above any game's text and far below what the machine holds.
constexpr qint64 maxEditedTextBytes = qint64(64) << 20;

// The most characters the text of a section of `lineCount` lines can take in
// escaped form, with a line break after every line and one more empty line.
qint64 maxSectionTextChars(int lineCount);

// Reads the edited text of a section of `lineCount` lines from `device` (open for
// reading, random-access or sequential) by the rule above.
Result<QString> readEditedText(QIODevice &device, int lineCount);

// The same for the regular file at `path`; a directory, device, FIFO or (with
// Links::Refuse) symbolic link is refused, never read or waited on.
Result<QString> readEditedTextFile(const QString &path, Links links, int lineCount);

// The bytes of the regular file at `path` when readEditedTextFile would read
// them as UTF-8 (no byte-order mark of another encoding) and they are within the
// bound for `lineCount` lines, read with one read() into `buffer`, which keeps
// its memory for the next file; a UTF-8 byte-order mark is left out of the view.
// The bytes are not checked: composeEntryUtf8 checks them as it parses them.
// Nothing, with nothing said, when that cannot be told or done:
// readEditedTextFile then reads the file and says why.
std::optional<QByteArrayView> readEditedUtf8File(const QString &path, Links links, int lineCount, QByteArray &buffer);

} // namespace core
