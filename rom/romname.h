#pragma once

#include "base/result.h"

#include <QString>

namespace core {

struct RomFileSystem;

// A file inside a ROM image, as a user names it where an archive is named:
// "GAME.nds:data/msg.narc" (by its path inside the image) or "GAME.nds:#123"
// (by its file id).
struct RomMemberName
{
    QString imagePath;  // empty: the name is a plain file, not one inside an image
    QString memberPath; // "data/msg.narc"; empty when named by id
    int fileId = -1;    // the id after "#", -1 when named by path

    bool isMember() const { return !imagePath.isEmpty(); }
    // The name as the user gives it: "GAME.nds:data/msg.narc", "GAME.nds:#123".
    QString text() const;
};

// Whether `name` names a file inside an image, and which. A name is a plain file
// (the result's imagePath empty) when the whole name exists on disk, or when no
// part of it before a colon names an existing file that is not a directory: a
// new file may have a colon in its name. Otherwise the image is the shortest such
// part, and what follows its colon names the file inside: "#" and a decimal file
// id, or a path ("/" between names, a leading "/" ignored). A member part that
// names nothing ("GAME.nds:", "GAME.nds:#x") is refused with the reason.
Result<RomMemberName> parseRomMemberName(const QString &name);

// The id of the file `name` names in `fs`, or the reason there is none.
Result<int> findRomMember(const RomFileSystem &fs, const RomMemberName &name);

} // namespace core
