// Any bytes as an archive: the reader either refuses them or gives an archive
// that the writer writes and the reader reads back to the same entries.

#include "narc/narcreader.h"
#include "narc/narcwriter.h"

#include <cstdlib>

using namespace core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    NarcRead read = readNarc(bytes);
    if (!read.ok())
        return 0;
    if (read.narc.fileCount != quint32(read.narc.files.size()))
        abort();
    const QByteArray written = serializeNarc(read.narc);
    NarcRead again = readNarc(written);
    if (!again.ok() || again.narc.files != read.narc.files || serializeNarc(again.narc) != written)
        abort();
    return 0;
}
