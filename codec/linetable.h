#pragma once

#include "codec/linekey.h"
#include "codec/messageheader.h"
#include "narc/narc.h"

#include <QString>
#include <QVector>

namespace core {

// One line record of a section, with the key its stored units were scrambled with.
struct LineRecord
{
    quint32 offset = 0;    // from the start of the section block
    quint16 length = 0;    // in units, terminator and padding included
    quint16 attribute = 0; // opaque, kept as stored
    LineKey key = 0;       // the key of the line's first unit
};

// The line table of one section, checked against its block.
struct SectionLineTable
{
    const char *block = nullptr; // the section block inside the entry
    QVector<LineRecord> lines;
    qint64 totalUnits = 0; // of all lines
    int longest = 0;       // the most units of one line
    QString reason;        // empty when every line lies inside the block
    bool ok() const { return reason.isEmpty(); }
};

// The line records of one section, read and checked one at a time as
// readSectionLineTable reads them, for work that needs no table of them.
class LineRecords
{
public:
    // `head` was read from `entry` without error and has `section`.
    LineRecords(EntryView entry, const MessageHeader &head, int section);

    // Whether the line table lies inside the entry; otherwise reason() says why.
    bool ok() const { return m_reason.isEmpty(); }
    const char *block() const { return m_block; }
    int count() const { return m_count; }
    // Reads record `i` < count() with its key; false, with reason() set, when
    // the line has no units or runs past its block.
    bool read(int i, LineRecord *line);
    const QString &reason() const { return m_reason; }

private:
    const char *m_block = nullptr;
    qint64 m_blockSize = 0;
    int m_section = 0;
    int m_count = 0;
    QString m_reason;
};

// Reads the line table of `section`, which `head` (read from `entry` without
// error) has, and each line's key. The key comes from the line's last stored unit
// alone: the plain unit there is always the terminator 0xFFFF. Fails for a line
// with no units or one that runs past its block. Never reads outside the entry.
SectionLineTable readSectionLineTable(EntryView entry, const MessageHeader &head, int section);

} // namespace core
