#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace core {

// Helpers the bulk operations share. Not part of the bulk interface.
namespace bulk {

// `number` in decimal, zero padded to at least four digits ("0007", "12345").
QString pad4(int number);

// Appends a section's text, its lines joined with "\n" and no line break after
// the last (as decodeMessageSection's DecodeForm::Text gives it), to `out` as
// UTF-8 (no byte order mark), converted in one go.
void appendSectionText(QByteArray &out, QStringView text);

// Whether `root` (ending in "/") holds the directories "0000" and "0001" an
// export tree needs. "0001" is looked for only when "0000" is there.
bool treeExists(const QString &root);

} // namespace bulk

} // namespace core
