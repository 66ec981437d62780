#pragma once

#include "base/result.h"
#include "io/savefile.h"
#include "rom/romfilesystem.h"
#include "rom/romname.h"
#include "rom/romplacement.h"

#include <QByteArray>
#include <QString>

class QFile;

namespace core {

// ROM images on disk, by path. A file that cannot be opened is refused like a
// malformed image, with a short reason; so is anything but a regular file.

// The file system of the image at `path` (see readRomFileSystem).
Result<RomFileSystem> loadRomFileSystem(const QString &path);

// The bytes of the file `name` names inside its image.
Result<QByteArray> loadRomMember(const RomMemberName &name);

// Replaces the file `name` names inside its image by `bytes`, as placeRomFile
// places them and writeRomImage writes them, atomically: the new image is
// written beside the old one and renamed over it only once complete, so a
// failure (a full disk, a kill) leaves the old image as it was. Returns where
// the bytes went; when `placement.staleDsiDigests` is set the caller warns that
// DSi mode will refuse the image.
Result<RomPlacement> replaceRomMember(const RomMemberName &name, const QByteArray &bytes);

// The same for the image open in `image` (on `name.imagePath`, perhaps locked by
// the caller from its read to the rename): the file system is read from it, and
// `options` say what the new image keeps of the old one and what is checked last
// before it takes the name (see commitWholeFile).
Result<RomPlacement> replaceRomMember(QFile &image, const RomMemberName &name, const QByteArray &bytes,
                                      const ReplaceOptions &options);

} // namespace core
