#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace core {

// Helpers the bulk operations share. Not part of the bulk interface.
namespace bulk {

// `number` in decimal, zero padded to at least four digits ("0007", "12345").
QString pad4(int number);

// Appends the section text, the lines joined with "\n" and no line break after
// the last, to `out` as UTF-8 (no byte order mark). No allocation per line beyond
// the growth of `out`.
void appendSectionText(QByteArray &out, const QStringList &lines);

// Whether `root` (ending in "/") holds the directories "0000" and "0001" an
// export tree needs. "0001" is looked for only when "0000" is there.
bool treeExists(const QString &root);

} // namespace bulk

} // namespace core
