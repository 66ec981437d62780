#pragma once

#include "narc/narc.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// Archive bytes for tests, laid out as the writer lays them out: header, table,
// a name table of `nameTable` (its content after the 8-byte head), the entries
// back to back, each padded to 4 bytes with `padByte`.
QByteArray buildNarcBytes(const QList<QByteArray> &entries, const QByteArray &nameTable = QByteArray(),
                          char padByte = 0);

// The 8 content bytes of the name table of an archive without file names.
QByteArray plainNameTable();

// Writes `bytes` to `path`; returns false on any failure.
bool writeFileBytes(const QString &path, const QByteArray &bytes);

// The whole content of `path`, or an empty array.
QByteArray readFileBytes(const QString &path);

// Every file and directory below `root`: relative path -> bytes (empty for a directory).
QMap<QString, QByteArray> treeContents(const QString &root);

// Writes an archive holding `entries` to `path`, laid out as above; false on failure.
bool writeArchive(const QString &path, const QList<core::NarcEntry> &entries);
