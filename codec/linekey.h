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

inline LineKey rotateKeyRight(LineKey key)
{
    return LineKey((key >> 3) | (key << 13));
}

// Scrambles `count` units in place starting from `key` (XOR with the key, then
// rotate it left for the next unit) and returns the key the next unit would get.
// XOR is its own inverse, so the same call unscrambles when given a line's key.
inline LineKey scrambleUnits(quint16 *units, qsizetype count, LineKey key)
{
    for (qsizetype j = 0; j < count; ++j) {
        units[j] ^= key;
        key = rotateKeyLeft(key);
    }
    return key;
}

} // namespace core
