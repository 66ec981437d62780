#pragma once

// How a PO file names the line a message comes from. The export writes it, the
// import reads it back; translation tools carry it along untouched.
//
// msgctxt "EEEE/SSSS/LLLL": entry, section and line, each zero padded to the
// same width throughout one file (four digits, more when an archive needs them),
// so that every message is unique and the messages sort in archive order.
// Entries and sections count from 0, as the editor's lists do; lines count from 1,
// as the composer's reports do ("line 3" is the third line of its section).

#include "base/result.h"
#include "report/place.h"

#include <QString>

namespace core {

namespace po {

using PoPlace = MessagePlace;

// Digits per field of one file's contexts.
struct PoContextWidths
{
    int entry = 4;
    int section = 4;
    int line = 4;
};

// The width that holds every number up to `largest`: at least four digits.
int contextWidth(qint64 largest);

QString poContext(const PoPlace &place, const PoContextWidths &widths);
// What comes before the line there: "EEEE/SSSS/".
QString poContextPrefix(int entry, int section, const PoContextWidths &widths);

// The place a context names: three fields of 1 to 9 decimal digits separated by
// "/", whatever their padding. Anything else names no line.
Result<PoPlace> parsePoContext(const QString &context);

} // namespace po

} // namespace core
