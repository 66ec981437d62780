#pragma once

#include "narc/narc.h"

#include <QString>
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
    QVector<quint32> sectionOffsets; // one per section, from the start of the entry
    QVector<quint32> blockSizes;     // one per section, read at its offset
};

struct MessageHeaderRead
{
    MessageHeader header;
    QString error; // empty when the head and every section block lie inside the entry
    bool ok() const { return error.isEmpty(); }
};

// Reads and checks the head of a message file: the fixed fields and the offset
// table fit in the entry, and every section block (its size field, its line table
// and its claimed size) lies inside the entry. Never reads outside `entry`.
MessageHeaderRead readMessageHeader(const NarcEntry &entry);

} // namespace core
