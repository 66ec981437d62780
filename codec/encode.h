#pragma once

#include "codec/linekey.h"
#include "codec/refusal.h"

#include <QStringView>

namespace core {

// Writes one section block in place: the block size, the line table, then the
// scrambled units of each line as it is added. `block` must have room for
// maxBlockSize() of the lines' characters.
class SectionBlockWriter
{
public:
    // The most units one line can take, terminator and padding included.
    static constexpr qint64 maxLineUnits = 0xFFFF;

    // Bytes a block of `lineCount` lines of `characters` characters in all can
    // take: at most one unit per character, plus a terminator per line and one
    // padding unit.
    static qint64 maxBlockSize(int lineCount, qint64 characters)
    {
        return 4 + 8 * qint64(lineCount) + 2 * (characters + lineCount + 1);
    }

    SectionBlockWriter(char *block, int lineCount);

    // Adds the next line. After a refusal, lines are still laid out (so later
    // ones find their place) but only the first refusal is kept.
    void addLine(QStringView lineText, LineKey key, quint16 attribute);
    // Adds the line of `text` that starts at `from` and ends before the first
    // line break or at the end of `text`, found as it is parsed: the break is
    // `breakChar`, followed by '\n' when `crlf`. Stores what addLine stores for
    // that line and returns where the line ends.
    qsizetype addLineFrom(QStringView text, qsizetype from, char16_t breakChar, bool crlf, LineKey key,
                          quint16 attribute);
    // Pads the block to a multiple of 4 bytes, writes its size and returns it.
    // Call once, after exactly `lineCount` lines.
    qint64 finish();

    // The first line that cannot be stored (BadEscape or LineTooLong), or none.
    const TextRefusal &refusal() const { return m_refusal; }

private:
    void refuse(const TextRefusal &why);
    // Ends the line whose units end at `out` (`key` the next one's key), found
    // to have its first bad escape at `bad` (or -1).
    void endLine(char *out, LineKey key, QStringView lineText, qsizetype bad, quint16 attribute);

    char *m_block;
    int m_lineCount;
    int m_line = 0;
    char *m_units;         // where the next unit goes
    quint32 m_offset;      // block offset of the next line
    LineKey m_nextKey = 0; // the key after the last line's last unit
    TextRefusal m_refusal;
};

// Whether one escaped line can be stored, by the rules addLine applies: every
// backslash starts an escape, and the line's units with its terminator fit
// maxLineUnits. The refusal's `line` is left 0. A line that passes can still be
// refused as the last line of a section whose units are odd in number: the
// padding unit goes on that line.
TextRefusal storableLine(QStringView lineText);

} // namespace core
