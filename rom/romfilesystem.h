#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

namespace core {

// Bytes [start, end) of an image, and what they hold, for the checks and for
// finding room.
struct RomSpan
{
    qint64 start = 0;
    qint64 end = 0;
    QString what; // "the name table", "file 12 (data/msg.narc)"
};

// One file of the image's file system, by its id (the index in
// RomFileSystem::files).
struct RomFile
{
    quint32 start = 0;
    quint32 end = 0;    // exclusive
    int directory = -1; // index in RomFileSystem::directories; -1: an overlay, or no directory names it
    QString name;       // empty when no directory names it

    qint64 size() const { return qint64(end) - start; }
};

// One directory of the name table, by its id less 0xF000. The root's path is
// empty; a directory no other lists (unreachable from the root) has none either.
struct RomDirectory
{
    QString path; // "data/msg": names joined by "/"
    bool reached = false;
};

// The file system of a ROM image, as its tables describe it; holds the tables'
// contents, never the files' bytes.
struct RomFileSystem
{
    QByteArray header;        // the first romHeaderBytes bytes, as read
    qint64 imageSize = 0;     // the image file's length
    quint16 firstNamedId = 0; // the root's first file id: ids below it are overlays
    QVector<RomFile> files;   // by file id
    QVector<RomDirectory> directories;
    // Everything a write may not overwrite, sorted by start, none empty: the
    // header, the binaries, the tables, the banner, the DSi parts and every file.
    QVector<RomSpan> occupied;
    // Where the used part of the image ends: the used-size field, or the end of
    // the last thing it holds if that lies further (DSi parts not counted).
    qint64 usedEnd = 0;
    // DSi images: the end of the part DS mode reads, 0 when not given.
    qint64 dsModeEnd = 0;

    quint8 unitCode() const;
    bool isDsi() const;
    quint8 deviceCapacity() const;
    quint32 usedSizeField() const;
    // Whether the header checksum field matches the header (an image whose does
    // not is still read; a write stores the right one).
    bool checksumMatches() const;
    bool isOverlay(int id) const { return id < firstNamedId; }
    // "data/msg.narc"; empty for an overlay or a file no directory names.
    QString path(int id) const;
    // The id of the file at `path` ("data/msg.narc", no leading "/"), or -1.
    int idOf(const QString &path) const;
    // "file 12 (data/msg.narc)", "file 3 (an overlay)": a file in words.
    QString describe(int id) const;
};

// Reads the file system of the image in `device` (open, random access): the
// header, the allocation, name and overlay tables, and nothing of the files.
// Every read is bounded by the device's size, and an image whose tables are not
// sound is refused with the reason: tables outside the image or overlapping the
// header, each other or a file (in a DSi image, its DSi parts too); file ids or
// directory ids out of range; names
// that are not printable UTF-8, that repeat within a directory or hold "/";
// directories listed twice (a cycle); paths longer than 1024 characters.
Result<RomFileSystem> readRomFileSystem(QIODevice *device);

// The bytes of file `id` (checked to lie inside the image when `fs` was read
// from `device`).
Result<QByteArray> readRomFile(QIODevice *device, const RomFileSystem &fs, int id);

} // namespace core
