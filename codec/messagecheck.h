#pragma once

#include "codec/messageheader.h"
#include "narc/narc.h"

#include <QString>

namespace core {

// Why `entry`, whose head reads as `head` (see readMessageHeader), is not a
// well-formed message file: the head's reason, or that of the first section that
// does not decode. Empty when it is one.
QString messageFileProblem(EntryView entry, const MessageHeaderRead &head);

// Whether `entry` is a message file: an empty entry (one without sections), or
// one whose head and every section decode.
bool isMessageFile(EntryView entry);

} // namespace core
