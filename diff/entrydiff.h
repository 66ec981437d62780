#pragma once

#include "narc/narc.h"

#include <QList>
#include <QString>

#include <functional>

namespace core {

// Comparing two archives entry by entry: the text of each line of each section,
// as the editor shows it (escaped), with the entry at the same index of the
// other archive. Lines compare by place, not by content: line 5 against line 5,
// as a section keeps its lines when it is edited. Keys, attributes and other
// bytes that do not show as text are not compared, except in an entry that is no
// message file (it cannot be decoded), which compares by its bytes.

// How much a comparison keeps.
enum class DiffDetail {
    Counts, // how many lines differ, for progress and --stat
    Lines,  // also the text of each line that differs, for printing
};

// One line that differs: as it was, and as it is. A line only one side has
// lacks the other's text.
struct LineDifference
{
    int line = 0; // from 1
    QString before;
    QString after;
    bool inBefore = true;
    bool inAfter = true;
};

// A section of the entry that differs.
struct SectionDifference
{
    enum class Presence {
        Both,    // in both entries: lines differ, or their number does
        Added,   // only the new entry has it
        Removed, // only the old entry has it
    };
    int section = 0;
    Presence presence = Presence::Both;
    int linesBefore = 0;
    int linesAfter = 0;
    QList<LineDifference> lines; // with DiffDetail::Lines, in order
};

// How one entry of the new archive compares with the same entry of the old one.
struct EntryComparison
{
    enum class Kind {
        Same,    // the same text (or the same bytes)
        Added,   // only the new archive has the entry
        Removed, // only the old archive has it
        Text,    // both decode, and text differs: see `sections`
        Bytes,   // one of them cannot be decoded, and their bytes differ
    };
    int entry = 0;
    Kind kind = Kind::Same;
    QList<SectionDifference> sections; // with Kind::Text, in order
    // The lines of the new entry (none when it cannot be decoded or is removed),
    // and how many of them differ from the same line of the old entry or have
    // none there.
    qint64 lines = 0;
    qint64 changed = 0;

    bool differs() const { return kind != Kind::Same; }
};

// Compares entry `index` of two archives; a null entry is one the archive does
// not have. Entries with the same bytes compare without being decoded.
EntryComparison compareEntries(int index, const EntryView *before, const EntryView *after, DiffDetail detail);
EntryComparison compareEntries(int index, const NarcEntry *before, const NarcEntry *after, DiffDetail detail);

// Every entry of `before` against the same entry of `after`, in order, the
// longer archive's count; each comparison goes to `visit`.
void compareArchives(const Narc &before, const Narc &after, DiffDetail detail,
                     const std::function<void(const EntryComparison &)> &visit);

// What a whole comparison adds up to.
struct DiffTotals
{
    qint64 lines = 0;   // lines of the new archive
    qint64 changed = 0; // of those, lines that differ
    int entriesChanged = 0;

    void add(const EntryComparison &comparison);
    bool differs() const { return entriesChanged > 0; }
};

} // namespace core
