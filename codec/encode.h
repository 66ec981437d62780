#pragma once

#include "codec/linekey.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

namespace core {

// Parses one escaped line, appends the terminator and scrambles the units with
// `key`. A backslash that starts no escape gives the unit 0 here; encodeSection
// and composing refuse such lines.
QVector<quint16> encodeLine(const QString &lineText, LineKey key);

// Writes one section block in place: the block size, the line table, then the
// scrambled units of each line as it is added. `block` must have room for
// maxBlockSize() of the lines' characters.
class SectionBlockWriter
{
public:
    enum class Problem { None, BadEscape, LineTooLong };

    // Bytes a block of `lineCount` lines of `characters` characters in all can
    // take: at most one unit per character, plus a terminator per line and one
    // padding unit.
    static qint64 maxBlockSize(int lineCount, qint64 characters)
    {
        return 4 + 8 * qint64(lineCount) + 2 * (characters + lineCount + 1);
    }

    SectionBlockWriter(char *block, int lineCount);

    // Adds the next line. After a problem, lines are still laid out (so later
    // ones find their place) but only the first problem is kept.
    void addLine(QStringView lineText, LineKey key, quint16 attribute);
    // Pads the block to a multiple of 4 bytes, writes its size and returns it.
    // Call once, after exactly `lineCount` lines.
    qint64 finish();

    Problem problem() const { return m_problem; }
    // Why, counting lines from 1 as text editors do; empty without a problem.
    QString error() const { return m_error; }
    int badLine() const { return m_badLine; }

private:
    void fail(Problem problem, const QString &error);

    char *m_block;
    int m_lineCount;
    int m_line = 0;
    char *m_units;         // where the next unit goes
    quint32 m_offset;      // block offset of the next line
    LineKey m_nextKey = 0; // the key after the last line's last unit
    Problem m_problem = Problem::None;
    QString m_error;
    int m_badLine = -1;
};

struct EncodedSection
{
    QByteArray block; // the section block, empty on failure
    QString error;    // empty on success
    int badLine = -1; // the line that could not be stored, on failure
    bool ok() const { return error.isEmpty(); }
};

// Builds a section block of exactly `lineCount` lines from the first `lineCount`
// elements of `lines`, scrambling line i with lineKeys[i] and giving it the
// attribute lineAttributes[i]; the last line is padded to keep the block a
// multiple of 4 bytes. Fails when a line holds a backslash that starts no escape
// or would need more than 65535 units (the error counts lines from 1, as text
// editors do), or when fewer lines, keys or attributes than `lineCount` are given.
EncodedSection encodeSection(const QStringList &lines, int lineCount, const QList<quint16> &lineKeys,
                             const QList<quint16> &lineAttributes);

} // namespace core
