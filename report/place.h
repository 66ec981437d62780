#pragma once

#include <QString>

namespace core {

// `number` in decimal, zero padded to at least four digits ("0007", "12345"), as
// the export tree names its directories and files.
QString pad4(int number);

} // namespace core
