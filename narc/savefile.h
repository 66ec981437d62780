#pragma once

#include <QString>

class QSaveFile;

namespace core {

// Completes an atomic write: the temporary file replaces the target only when
// every byte reached it. commit() alone does not notice when the last buffered
// bytes fail to reach the file, so they are flushed first; on any failure the
// write is abandoned, the target stays as it was, and `*error` (when given) says
// why.
bool commitSaveFile(QSaveFile &file, QString *error = nullptr);

} // namespace core
