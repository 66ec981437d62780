#pragma once

#include "base/result.h"
#include "rom/romfilesystem.h"

#include <QByteArray>

class QIODevice;

namespace core {

// Where a file written back into an image goes, and the header fields that
// change with it.
struct RomPlacement
{
    int id = 0;
    quint32 start = 0; // the file's new allocation entry
    quint32 end = 0;
    bool moved = false;           // false: written over its old bytes
    quint32 usedSize = 0;         // the header's used size afterwards
    quint8 capacity = 0;          // the header's device capacity afterwards
    qint64 imageSize = 0;         // the image file's length afterwards
    bool staleDsiDigests = false; // a DSi image: its DSi digests no longer match
};

// Where a file of `size` bytes that has to move may start in the image open in
// `image` (`fs` read from it): the first offset past the used area, aligned to
// 0x200, from which the image holds only padding (0xFF) for `size` bytes, or
// ends. Whatever an image keeps past its used area (a signature, another tool's
// data) is so never written over.
Result<qint64> findRomRoom(QIODevice *image, const RomFileSystem &fs, qint64 size);

// Where `size` bytes written as file `id` of the image `fs` describes go. When
// they fit the file's room (from its start up to whatever the image holds next,
// by address, or the end of the used area) they stay there; otherwise they move
// to `roomStart` (see findRomRoom; never before the used area ends), the old
// bytes left as they were. The used size grows to cover them; the device capacity only when the
// chip it names no longer holds the used area. Refused, with the reason, when
// the file would overlap anything the image holds (a DSi image's DSi part), leave
// the part a DSi reads in DS mode, or end past 4 GiB.
Result<RomPlacement> placeRomFile(const RomFileSystem &fs, int id, qint64 size, qint64 roomStart);

// `fs.header` as it reads after the write `placement` describes: used size and
// device capacity set, the checksum recomputed; every other byte as it was.
QByteArray placedRomHeader(const RomFileSystem &fs, const RomPlacement &placement);

} // namespace core
