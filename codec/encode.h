#pragma once

#include "codec/linekey.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace core {

// Parses one escaped line, appends the terminator and scrambles the units with `key`.
QVector<quint16> encodeLine(const QString &lineText, LineKey key);

struct EncodedSection
{
    QVector<char> block; // the section block, empty on failure
    QString error;       // empty on success
    int badLine = -1;    // the line that could not be stored, on failure
    bool ok() const { return error.isEmpty(); }
};

// Builds a section block of exactly `lineCount` lines from the first `lineCount`
// elements of `lines`, scrambling line i with lineKeys[i] and giving it the
// attribute lineAttributes[i]; the last line is padded to keep the block a
// multiple of 4 bytes. Fails when a line would need more than 65535 units (the
// error counts lines from 1, as text editors do), or when
// fewer lines, keys or attributes than `lineCount` are given.
EncodedSection encodeSection(const QStringList &lines, int lineCount, const QList<quint16> &lineKeys,
                             const QList<quint16> &lineAttributes);

} // namespace core
