#pragma once

#include "diff/entrydiff.h"

#include <QVector>

namespace core {

// How far an archive has moved from a reference (the original it is translated
// from): per entry and in all, how many of its lines differ from the same line of
// the reference. Kept current entry by entry as the archive changes, so an edit
// costs one entry's comparison, not the archive's.
class ReferenceProgress
{
public:
    struct Count
    {
        qint64 lines = 0;   // lines of the entry
        qint64 changed = 0; // of those, lines that differ from the reference
    };

    // Compares every entry of `archive` with the same entry of `reference`.
    void compareAll(const Narc &archive, const Narc &reference);
    // Compares entry `entry` again, after it changed.
    void compareEntry(int entry, const Narc &archive, const Narc &reference);
    // Compares again every entry of `archive` that is not the same as in `before`
    // (the entries before a bulk change); all of them when the count changed.
    void compareChanged(const QList<NarcEntry> &before, const Narc &archive, const Narc &reference);
    // Forgets everything: no entries, no lines.
    void clear();

    int entries() const { return int(counts.size()); }
    Count entry(int index) const { return index >= 0 && index < counts.size() ? counts.at(index) : Count{}; }
    Count total() const { return sum; }

private:
    QVector<Count> counts;
    Count sum;
};

} // namespace core
