#pragma once

#include "base/result.h"
#include "narc/narc.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace core {

// Reads the archive stored in `device` from its current position on. Never reads
// outside the input and never holds more than it: anything the layout cannot
// describe is refused with a short reason ("does not start with the tag NARC",
// ...), as are entries that share bytes (together they would take more memory
// than the file) and input longer than an archive can be (maxArchiveBytes).
// From a random-access device only the head and the entries themselves are held
// in memory, never a second copy of the whole archive; a sequential device (a
// pipe) is read whole first, up to that bound. An archive for which memory
// cannot be had is refused ("not enough memory"), never a crash.
Result<Narc> readNarc(QIODevice *device);

// Reads an archive held whole in memory, through the same device reader (a
// QBuffer over `bytes`), so it takes exactly the path files take.
Result<Narc> readNarc(const QByteArray &bytes);

// Reads the archive in `device` as readNarc does, with the same checks and
// refusals, but hands each entry to `visit` in order instead of keeping it: the
// entry is valid during the call only (see narc/narcstream.h). For work that
// looks at one entry at a time (listing, validating), memory stays at the tables
// plus one reused buffer. Entries before a failed read may already have been
// visited.
using EntryVisitor = std::function<void(quint32 index, EntryView entry)>;
Status readNarcEntries(QIODevice *device, const EntryVisitor &visit);

} // namespace core
