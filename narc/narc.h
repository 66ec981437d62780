#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <cstring>
#include <functional>

class QDataStream;
class QIODevice;

namespace core {

class EntrySource;

// One entry of an archive: its raw bytes, without padding.
using NarcEntry = QVector<char>;

// The bytes of one entry, held elsewhere: an entry of a Narc, or the buffer of a
// reader that hands the entries of a file out one at a time (narc/entrysource.h).
// Valid while what holds them is unchanged.
class EntryView
{
public:
    EntryView() = default;
    EntryView(const NarcEntry &entry)
        : m_data(entry.constData())
        , m_size(entry.size())
    {
    }
    EntryView(const char *data, qsizetype size)
        : m_data(data)
        , m_size(size)
    {
    }

    const char *constData() const { return m_data; }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // A copy the caller keeps.
    NarcEntry toEntry() const;

    friend bool operator==(EntryView a, EntryView b)
    {
        return a.m_size == b.m_size && (a.m_size == 0 || std::memcmp(a.m_data, b.m_data, size_t(a.m_size)) == 0);
    }
    friend bool operator!=(EntryView a, EntryView b) { return !(a == b); }

private:
    const char *m_data = nullptr;
    qsizetype m_size = 0;
};

// The format's sizes and offsets are unsigned 32-bit: no archive is longer.
constexpr qint64 maxArchiveBytes = 0xFFFFFFFFLL;

// A whole archive held in memory, as a plain value.
//
// Fields marked "copied" are written back as read; the offsets and sizes are
// recomputed from the entries' current lengths by every write, so entries may
// grow or shrink freely in between, and entries may be appended or removed.
//
// `files` alone says how many entries there are. `fileCount` is that number as
// last read or written: every read and write sets it from `files`, and nothing
// in the core reads it, so a count set by hand can never make a write drop
// entries. Count `files`.
struct Narc
{
    // The empty archive: no entries, every number zero.
    Narc() = default;

    // Reads the archive stored in `device` from `position` on. The device must be
    // open for reading; it is neither opened nor closed here. Malformed input gives
    // the empty archive; readNarc (narc/narcreader.h) says why.
    Narc(QIODevice *device, quint32 position);

    qint32 magic = 0;      // copied
    qint16 byteOrder = 0;  // copied
    qint16 version = 0;    // copied
    qint32 fileSize = 0;   // recomputed
    qint16 headerSize = 0; // copied (a readable archive always has 16)
    qint16 blockCount = 0; // copied

    qint32 fatTag = 0;           // copied
    qint32 fatSize = 0;          // recomputed: 12 + 8 * fileCount
    quint32 fileCount = 0;       // files.size() as last read or written; recomputed
    QVector<quint32> fileStarts; // per entry, start relative to the image data; recomputed
    QVector<quint32> fileEnds;   // per entry, start + length (unpadded); recomputed

    qint32 fntTag = 0;     // copied
    qint32 fntSize = 0;    // copied: the whole name-table block, head included
    QByteArray fntContent; // copied: the name table after its 8-byte head, byte for byte

    qint32 imgTag = 0;  // copied
    qint32 imgSize = 0; // recomputed: 8 + entries with their padding

    QList<NarcEntry> files;

    // Recomputes fileCount, fileStarts, fileEnds, fatSize, imgSize and fileSize
    // from the entries' current lengths, as a write does. Every offset and size
    // of the format is 32 bits wide: an archive that would be larger than
    // maxArchiveBytes cannot be described, and then nothing changes and the
    // reason says so.
    Status recomputeLayout();
    // The same for `count` entries held elsewhere, entry i being lengthOf(i)
    // bytes long; `files` is not looked at.
    Status recomputeLayout(qsizetype count, const std::function<qint64(qsizetype)> &lengthOf);

    // Recomputes the layout and writes the whole archive to `device` from
    // `position` on. The device must be open for writing; it is not closed here.
    // Fails if the layout does not fit the format (then nothing is written) or
    // the device took fewer bytes.
    Status writeTo(QIODevice *device, quint32 position);
    // The same for the entries `entries` hands out from its first on, held
    // elsewhere (an archive read one entry at a time, with some entries
    // replaced), whose lengths `lengthOf` gives; `files` is not looked at. So
    // the allocation table is known before the first entry is read, and an
    // archive is rewritten holding one entry at a time. Fails when an entry
    // cannot be read or is not as long as said.
    Status writeTo(QIODevice *device, quint32 position, EntrySource &entries,
                   const std::function<qint64(qsizetype)> &lengthOf);
};

// A new archive laid out as the usual tools lay them out: the NARC header, the
// three block tags, a name table without file names, and no entries.
Narc newNarc();

// Stream forms of the reader and writer. The reader takes the archive from the
// stream's current position on, as readNarc(QIODevice *) does; on malformed input it
// leaves `narc` empty and sets the stream's status to ReadCorruptData. The writer
// recomputes the layout in `narc` and writes it at the stream's position.
QDataStream &operator>>(QDataStream &stream, Narc &narc);
QDataStream &operator<<(QDataStream &stream, Narc &narc);

} // namespace core
