#pragma once

#include "base/result.h"

#include <QtGlobal>

namespace core {

// Copies the first `length` bytes of the file open at `sourceFd` to the same
// offsets of the empty file open at `targetFd`, as cheaply as the file systems
// allow: a clone sharing the source's blocks when the whole file is wanted and
// the file system can (copy on write), else a copy inside the kernel, else reads
// and writes in large blocks. Neither file's position is used or moved. On
// failure the reason is the system's ("No space left on device").
Status copyFileStart(int sourceFd, int targetFd, qint64 length);

// Writes all `length` bytes of `data` at `offset` of the file open at `fd`; with
// a negative `offset`, where the descriptor stands (a pipe, a terminal).
Status writeFileAt(int fd, qint64 offset, const char *data, qint64 length);

} // namespace core
