#pragma once

#include "diff/entrydiff.h"

#include <QString>

namespace core {

// How a comparison reads, as narctext diff prints it (report/lines.h words each
// line). Every line ends with "\n"; an entry that compares the same gives nothing.

// The diff of one entry, in section order: a line for an entry or section only
// one side has, for a section whose line count differs and for an entry that
// cannot be decoded and whose bytes differ; then, per run of adjacent lines that
// differ, a header naming them in words and each line as it was ("-") and as it
// is ("+"), escaped as the editor shows it.
QString diffText(const EntryComparison &comparison);

// One line for --stat: how many lines of the entry changed.
QString diffStatText(const EntryComparison &comparison);

// The last line of --stat: lines changed of lines compared, in how many entries.
QString diffTotalText(const DiffTotals &totals);

} // namespace core
