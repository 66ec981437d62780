// Any bytes as a message file: decoding every section stays inside the entry,
// keeps one key and one attribute per line, gives the same in every form, and
// what decodes is composed back without a refusal and shows the same again.

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
        if (decoded.lineKeys.size() != decoded.lines.size() || decoded.lineAttributes.size() != decoded.lines.size())
            abort();
        if (!decoded.ok() && !decoded.lines.isEmpty())
            abort();
        const DecodedSection text = decodeMessageSection(entry, section, DecodeForm::Text);
        const DecodedSection keys = decodeMessageSection(entry, section, DecodeForm::KeysOnly);
        if (text.text != decoded.lines.join(QLatin1Char('\n')) || text.reason != decoded.reason
            || text.lineKeys != decoded.lineKeys || keys.lineKeys != decoded.lineKeys
            || keys.lineAttributes != decoded.lineAttributes || keys.present != decoded.present)
            abort();
        if (decoded.lines.isEmpty())
            continue;
        // The shown text, saved unedited, is never refused for its text and must
        // give a section that shows the same.
        const ComposeResult composed = composeEntry(entry, text.text, section);
        using Kind = TextRefusal::Kind;
        const Kind kind = composed.reason.kind;
        if (kind == Kind::TooFewLines || kind == Kind::TooManyLines || kind == Kind::BadEscape)
            abort();
        if (composed.changed() && decodeMessageSection(composed.entry, section).lines != decoded.lines)
            abort();
    }
    return 0;
}
