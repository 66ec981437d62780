#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <QtGlobal>

class QDataStream;
class QIODevice;

namespace core {

// One entry of an archive: its raw bytes, without padding.
using NarcEntry = QVector<char>;

// A whole archive held in memory, as a plain value.
//
// Fields marked "copied" are written back as read; the offsets and sizes are
// recomputed from the entries' current lengths by every write, so entries may
// grow or shrink freely in between. `fileCount` always equals files.size().
struct Narc
{
    // The empty archive: no entries, every number zero.
    Narc() = default;

    // Reads the archive stored in `device` from `position` on. The device must be
    // open for reading; it is neither opened nor closed here. Malformed input gives
    // the empty archive, and `*error` (when given) says why; on success `*error`
    // is cleared.
    Narc(QIODevice *device, quint32 position, QString *error = nullptr);

    qint32 magic = 0;      // copied
    qint16 byteOrder = 0;  // copied
    qint16 version = 0;    // copied
    qint32 fileSize = 0;   // recomputed
    qint16 headerSize = 0; // copied (a readable archive always has 16)
    qint16 blockCount = 0; // copied

    qint32 fatTag = 0;        // copied
    qint32 fatSize = 0;       // recomputed: 12 + 8 * fileCount
    quint32 fileCount = 0;    // number of entries
    QVector<int> fileStarts;  // per entry, start relative to the image data; recomputed
    QVector<int> fileEnds;    // per entry, start + length (unpadded); recomputed

    qint32 fntTag = 0;     // copied
    qint32 fntSize = 0;    // copied: the whole name-table block, head included
    QByteArray fntContent; // copied: the name table after its 8-byte head, byte for byte

    qint32 imgTag = 0;  // copied
    qint32 imgSize = 0; // recomputed: 8 + entries with their padding

    QList<NarcEntry> files;

    // Recomputes fileStarts, fileEnds, fatSize, imgSize and fileSize from the
    // entries' current lengths, as a write does.
    void recomputeLayout();

    // Recomputes the layout and writes the whole archive to `device` from
    // `position` on. The device must be open for writing; it is not closed here.
    // Returns false, with `*error` set when given, if the device took fewer bytes.
    bool writeTo(QIODevice *device, quint32 position, QString *error = nullptr);
};

// A new archive laid out as the usual tools lay them out: the NARC header, the
// three block tags, a name table without file names, and no entries.
Narc newNarc();

// Stream forms of the reader and writer. The reader takes everything from the
// stream's current position to the end of its device; on malformed input it
// leaves `narc` empty and sets the stream's status to ReadCorruptData. The writer
// recomputes the layout in `narc` and writes it at the stream's position.
QDataStream &operator>>(QDataStream &stream, Narc &narc);
QDataStream &operator<<(QDataStream &stream, Narc &narc);

} // namespace core
