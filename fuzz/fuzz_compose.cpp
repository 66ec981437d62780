// Any entry bytes and any text: composing never reaches outside the entry, a
// refusal leaves it as it was and names the line, and an entry it rebuilds is well
// formed: the new section shows the text as stored, and saving that shown text
// again changes nothing.

#include "codec/compose.h"
#include "codec/decode.h"

#include <cstdlib>

using namespace core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // First two bytes: how much of the rest is the entry; the remainder is UTF-16 text.
    const size_t entryLength = qMin(size - 2, size_t(data[0] | data[1] << 8));
    const auto *first = reinterpret_cast<const char *>(data + 2);
    const NarcEntry entry(first, first + entryLength);
    const size_t textBytes = size - 2 - entryLength;
    QString text(qsizetype(textBytes / 2), Qt::Uninitialized);
    for (size_t i = 0; i < textBytes / 2; ++i)
        text[qsizetype(i)] = QChar(char16_t(data[2 + entryLength + 2 * i] | data[3 + entryLength + 2 * i] << 8));

    for (int section = 0; section < 3; ++section) {
        const ComposeResult composed = composeEntry(entry, text, section);
        if (!composed.changed()) {
            if (composed.entry != entry)
                abort();
            if (composed.reason.kind == TextRefusal::Kind::BadEscape
                && (composed.reason.line < 1 || !composed.reason.detail.startsWith(QLatin1String("\"\\"))))
                abort();
            continue;
        }
        const DecodedSection decoded = decodeMessageSection(composed.entry, section, DecodeForm::Text);
        if (!decoded.ok())
            abort();
        const ComposeResult again = composeEntry(composed.entry, decoded.text, section);
        if (!again.changed() || again.entry != composed.entry)
            abort();
        for (int other = 0; other < 3; ++other) {
            if (other != section
                && decodeMessageSection(composed.entry, other).lines != decodeMessageSection(entry, other).lines)
                abort();
        }
    }
    return 0;
}
