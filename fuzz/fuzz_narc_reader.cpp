// Any bytes as an archive, read through the device reader files use (a QBuffer):
// the reader either refuses them or gives an archive whose entries together take
// no more than the input, and that the writer writes and the reader reads back to
// the same entries.

#include "narc/narcreader.h"
#include "narc/narcwriter.h"

#include <cstdlib>

using namespace core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    Result<Narc> read = readNarc(bytes);
    if (!read.ok())
        return 0;
    if (read.value.fileCount != quint32(read.value.files.size()))
        abort();
    qint64 entryBytes = 0;
    for (const NarcEntry &entry : std::as_const(read.value.files))
        entryBytes += entry.size();
    if (entryBytes > qint64(size))
        abort();
    const QByteArray written = serializeNarc(read.value);
    Result<Narc> again = readNarc(written);
    if (!again.ok() || again.value.files != read.value.files || serializeNarc(again.value) != written)
        abort();
    return 0;
}
