#pragma once

#include <QtGlobal>

// While alive, the process may not grow any file beyond `bytes` (RLIMIT_FSIZE),
// and a write past the limit fails with EFBIG instead of raising SIGXFSZ. This
// fails writes even for root, unlike permission bits.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(quint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    quint64 oldSoft = 0;
    void (*oldHandler)(int) = nullptr;
};
