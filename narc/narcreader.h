#pragma once

#include "narc/narc.h"

#include <QByteArray>
#include <QString>

class QIODevice;

namespace core {

// The outcome of reading an archive: the archive, or the reason it was refused.
struct NarcRead
{
    Narc narc;
    QString error; // empty on success
    bool ok() const { return error.isEmpty(); }
};

// Reads an archive held whole in memory. Never reads outside `bytes`, and never
// allocates more than `bytes` can hold; anything the layout cannot describe is
// refused with a short reason ("does not start with the tag NARC", ...).
NarcRead readNarc(const QByteArray &bytes);

// Reads the archive stored in `device` from its current position to its end, with
// the same checks. Only the head and the entries themselves are held in memory,
// never a second copy of the whole archive.
NarcRead readNarc(QIODevice *device);

} // namespace core
