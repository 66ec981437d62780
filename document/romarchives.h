#pragma once

#include "base/result.h"

#include <QList>
#include <QString>

namespace core {

// An archive inside a ROM image, as listed for a user to choose.
struct RomArchive
{
    int id = 0;
    QString path; // inside the image ("data/msg.narc"); empty when no directory names it
    qint64 size = 0;
    int entries = 0;
    // Why the file does not read as an archive, though it starts as one; empty
    // when it reads.
    QString problem;
    // Every entry is a message file (see isMessageFile), and one at least is not
    // empty.
    bool messages = false;

    // The name after the image's in "GAME.nds:NAME": the path, or "#ID".
    QString name() const { return path.isEmpty() ? QLatin1Char('#') + QString::number(id) : path; }
};

// Every file of the image at `imagePath` that starts with the tag of an archive
// ("NARC"), by file id, each read one entry at a time to count its entries and
// tell whether they are message files. An image that does not read is refused
// with its reason, as loadRomFileSystem refuses it.
Result<QList<RomArchive>> listRomArchives(const QString &imagePath);

// `archives` that read, the message archives first, each group in its order.
QList<RomArchive> archivesToChoose(const QList<RomArchive> &archives);

} // namespace core
