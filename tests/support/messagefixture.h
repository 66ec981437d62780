#pragma once

#include "narc/narc.h"

#include <QStringList>

class QRandomGenerator;

// Message files for tests, built here without the codec so tests can check it.
//
// The layout is the one the encoder writes: a 12-byte head (section count, line
// count, section 0's block size, the reserved word), the section offset table,
// then each section block right after the previous one. A block is its size, the
// line table (offset from the block start, unit count, attribute per line) and the
// lines back to back, each its plain units plus the terminator 0xFFFF, scrambled
// with the line's key (unit j XOR the key rotated left by 3 * j bits); when the
// section's unit count is odd the last line gets a second, scrambled 0xFFFF so the
// block stays a multiple of 4 bytes.

// One line: its plain units without the terminator, its key and its attribute.
struct FixtureLine
{
    QVector<quint16> units;
    quint16 key = 0;
    quint16 attribute = 0;
};

using FixtureSection = QList<FixtureLine>;

// A line whose plain units are the UTF-16 units of `text`, taken literally (no
// escapes are parsed).
FixtureLine fixtureLine(const QString &text, quint16 key = 0, quint16 attribute = 0);

// The key buildMessageFile(QList<QStringList>) gives line `line` of `section`.
quint16 fixtureKey(int section, int line);

// A message file holding `sections`. Every section must have the same number of
// lines (that of the first section is written as the line count).
core::NarcEntry buildMessageFile(const QList<FixtureSection> &sections, quint32 reserved = 0);

// Shorthand: lines as literal text, keys from fixtureKey(), attributes 0.
core::NarcEntry buildMessageFile(const QList<QStringList> &sections);

// Random sections for round trips: `sectionCount` sections of one random line
// count (0..maxLines), lines of 0..maxUnits units of any value, drawing often the
// units the escaped syntax treats specially (0xFFFF, backslash, 'x', '{',
// surrogates, 0xFEFF, ...), random keys and attributes.
QList<FixtureSection> randomSections(QRandomGenerator &random, int sectionCount, int maxLines, int maxUnits);

// Little-endian fields of an entry, for checks; 0 when out of range.
quint16 entryU16(const core::NarcEntry &entry, qint64 offset);
quint32 entryU32(const core::NarcEntry &entry, qint64 offset);

// One message of a PO file, and the header that declares UTF-8.
QByteArray poMessage(const char *context, const char *id, const char *translation);
extern const QByteArray poUtf8Header;
