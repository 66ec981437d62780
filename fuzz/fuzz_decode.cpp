// Any bytes as a message file: decoding every section stays inside the entry,
// keeps one key and one attribute per line, and what decodes re-encodes to the
// same entry.

#include "codec/compose.h"
#include "codec/decode.h"

#include <cstdlib>

using namespace core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto *first = reinterpret_cast<const char *>(data);
    const NarcEntry entry(first, first + size);
    for (int section = -1; section < 4; ++section) {
        const DecodedSection decoded = decodeMessageSection(entry, section);
        if (decoded.lineKeys.size() != decoded.lines.size()
            || decoded.lineAttributes.size() != decoded.lines.size())
            abort();
        if (!decoded.error.isEmpty() && !decoded.lines.isEmpty())
            abort();
        if (decoded.lines.isEmpty())
            continue;
        // The shown text, saved unedited, must give a section that shows the same.
        const ComposeResult composed = composeEntry(entry, decoded.lines.join(QLatin1Char('\n')), 0, section);
        if (composed.changed() && decodeMessageSection(composed.entry, section).lines != decoded.lines)
            abort();
    }
    return 0;
}
