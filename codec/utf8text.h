#pragma once

#include <QByteArray>
#include <QStringView>

namespace core {

// Appends a section's text, its lines joined with "\n" and no line break after
// the last (as decodeMessageSection's DecodeForm::Text gives it), to `out` as
// UTF-8 (no byte order mark), converted in one go.
void appendSectionText(QByteArray &out, QStringView text);

} // namespace core
