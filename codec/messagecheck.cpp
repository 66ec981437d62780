#include "codec/messagecheck.h"

#include "codec/decode.h"

namespace core {

QString messageFileProblem(EntryView entry, const MessageHeaderRead &head)
{
    if (!head.ok())
        return head.reason;
    for (int s = 0; s < head.header.sectionCount; ++s) {
        const DecodedSection decoded = decodeMessageSection(entry, s, DecodeForm::KeysOnly);
        if (!decoded.ok())
            return decoded.reason;
    }
    return {};
}

bool isMessageFile(EntryView entry)
{
    return entry.isEmpty() || messageFileProblem(entry, readMessageHeader(entry)).isEmpty();
}

} // namespace core
