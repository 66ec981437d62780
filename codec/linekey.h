#pragma once

#include <QtGlobal>

namespace core {

// The 16-bit key that scrambles one stored line. Unit j of a line is stored as its
// plain value XOR the key rotated left by 3 * j bits.
using LineKey = quint16;

inline LineKey rotateKeyLeft(LineKey key)
{
    return LineKey((key << 3) | (key >> 13));
}

} // namespace core
