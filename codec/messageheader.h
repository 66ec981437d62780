#pragma once

#include "narc/narc.h"

#include <QString>
#include <QVarLengthArray>
#include <QVector>
#include <QtGlobal>

namespace core {

// The head of a message file: counts, the section 0 size field, the reserved
// word, and per section its offset and the size its block claims.
struct MessageHeader
{
    quint16 sectionCount = 0;
    quint16 lineCount = 0;
    quint32 section0Size = 0;
    quint32 reserved = 0;
    // Inline for the usual two sections: no allocation per head read.
    QVarLengthArray<quint32, 4> sectionOffsets; // one per section, from the start of the entry
    QVarLengthArray<quint32, 4> blockSizes;     // one per section, read at its offset
};

// The head as read, with the reason it is not whole. The fixed fields are kept
// when the rest fails: they still say how many sections the file claims.
struct MessageHeaderRead
{
    MessageHeader header;
    QString reason; // empty when the head and every section block lie inside the entry
    bool ok() const { return reason.isEmpty(); }
};

// Reads and checks the head of a message file: the fixed fields and the offset
// table fit in the entry, and every section block (its size field, its line table
// and its claimed size) lies inside the entry. Never reads outside `entry`.
MessageHeaderRead readMessageHeader(EntryView entry);

// The section count the head's fixed fields give, whatever the rest holds: 0 for
// an empty entry (a message file without sections), -1 for one too short to hold
// the fixed fields.
int declaredSectionCount(EntryView entry);

} // namespace core
