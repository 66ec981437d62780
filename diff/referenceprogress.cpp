#include "diff/referenceprogress.h"

namespace core {

namespace {

ReferenceProgress::Count countOf(int index, const Narc &archive, const Narc &reference)
{
    const NarcEntry *original = index < reference.files.size() ? &reference.files.at(index) : nullptr;
    const EntryComparison comparison = compareEntries(index, original, &archive.files.at(index), DiffDetail::Counts);
    return {comparison.lines, comparison.changed};
}

} // namespace

void ReferenceProgress::compareAll(const Narc &archive, const Narc &reference)
{
    clear();
    counts.resize(archive.files.size());
    for (int i = 0; i < counts.size(); ++i) {
        counts[i] = countOf(i, archive, reference);
        sum.lines += counts.at(i).lines;
        sum.changed += counts.at(i).changed;
    }
}

void ReferenceProgress::compareEntry(int entry, const Narc &archive, const Narc &reference)
{
    if (counts.size() != archive.files.size()) {
        compareAll(archive, reference);
        return;
    }
    if (entry < 0 || entry >= counts.size())
        return;
    const Count now = countOf(entry, archive, reference);
    Count &kept = counts[entry];
    sum.lines += now.lines - kept.lines;
    sum.changed += now.changed - kept.changed;
    kept = now;
}

void ReferenceProgress::compareChanged(const QList<NarcEntry> &before, const Narc &archive, const Narc &reference)
{
    if (before.size() != archive.files.size() || counts.size() != archive.files.size()) {
        compareAll(archive, reference);
        return;
    }
    for (int i = 0; i < counts.size(); ++i) {
        // Entries a bulk change left alone still share their bytes: no byte loop.
        if (before.at(i) != archive.files.at(i))
            compareEntry(i, archive, reference);
    }
}

void ReferenceProgress::clear()
{
    counts.clear();
    sum = {};
}

} // namespace core
