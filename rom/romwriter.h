#pragma once

#include "base/result.h"
#include "rom/romfilesystem.h"
#include "rom/romplacement.h"

#include <QByteArray>

class QFileDevice;

namespace core {

// Writes the image open in `source` to `target` (open for writing, empty), with
// `bytes` as file `placement.id` where `placement` (see placeRomFile, made from
// `fs`, the file system read from `source`) puts it: the image is copied as
// cheaply as the file systems allow (see copyFileStart), then patched: the new
// bytes, the gap before them when they go past the image's end (filled with
// 0xFF, as images are padded), the file's allocation entry and the header
// (used size, device capacity, checksum). No other byte differs from the source.
// Neither device is opened, closed or committed here; on failure the reason says
// why and `target` holds a partial image to be discarded.
Status writeRomImage(QFileDevice &source, QFileDevice &target, const RomFileSystem &fs, const RomPlacement &placement,
                     const QByteArray &bytes);

} // namespace core
