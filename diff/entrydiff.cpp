#include "diff/entrydiff.h"

#include "codec/decode.h"
#include "codec/escape.h"
#include "codec/linetable.h"
#include "codec/messageheader.h"

#include <algorithm>

namespace core {

namespace {

// The line tables of every section of a message file, read and checked as a
// decode reads them; not ok when one of them cannot be read (the file cannot be
// decoded). An empty entry has no sections.
struct EntryTables
{
    QList<SectionLineTable> sections;
    qint64 lines = 0;
    int longest = 0;
    bool ok = false;
};

EntryTables readTables(EntryView entry)
{
    EntryTables tables;
    if (entry.isEmpty()) {
        tables.ok = true;
        return tables;
    }
    const MessageHeaderRead head = readMessageHeader(entry);
    if (!head.ok())
        return tables;
    for (int s = 0; s < head.header.sectionCount; ++s) {
        SectionLineTable table = readSectionLineTable(entry, head.header, s);
        if (!table.ok())
            return tables;
        tables.lines += table.lines.size();
        tables.longest = qMax(tables.longest, table.longest);
        tables.sections.append(std::move(table));
    }
    tables.ok = true;
    return tables;
}

// Compares the sections of two message files line by line, by their plain
// units: two lines show the same text exactly when their units are the same, so
// only lines that differ are escaped, and only when their text is wanted.
class SectionComparer
{
public:
    SectionComparer(const EntryTables &before, const EntryTables &after, DiffDetail detail)
        : detail(detail)
        , plainBefore(qMax(before.longest, after.longest))
        , plainAfter(plainBefore.size())
    {
    }

    // Section `index`, in both files.
    SectionDifference compare(int index, const SectionLineTable &before, const SectionLineTable &after, qint64 *changed)
    {
        SectionDifference section;
        section.section = index;
        section.linesBefore = int(before.lines.size());
        section.linesAfter = int(after.lines.size());
        const int lines = qMax(section.linesBefore, section.linesAfter);
        for (int i = 0; i < lines; ++i) {
            const bool inBefore = i < section.linesBefore;
            const bool inAfter = i < section.linesAfter;
            const int lengthBefore = inBefore ? plainLineUnits(before, i, plainBefore.data()) : 0;
            const int lengthAfter = inAfter ? plainLineUnits(after, i, plainAfter.data()) : 0;
            if (inBefore && inAfter && lengthBefore == lengthAfter
                && std::equal(plainBefore.constData(), plainBefore.constData() + lengthBefore, plainAfter.constData()))
                continue;
            if (inAfter)
                ++*changed;
            if (detail == DiffDetail::Lines) {
                LineDifference line;
                line.line = i + 1;
                line.inBefore = inBefore;
                line.inAfter = inAfter;
                if (inBefore)
                    line.before = escapeLineText(plainBefore.constData(), lengthBefore);
                if (inAfter)
                    line.after = escapeLineText(plainAfter.constData(), lengthAfter);
                section.lines.append(std::move(line));
            }
        }
        return section;
    }

private:
    DiffDetail detail;
    QVector<quint16> plainBefore; // reused for every line
    QVector<quint16> plainAfter;
};

} // namespace

EntryComparison compareEntries(int index, const NarcEntry *before, const NarcEntry *after, DiffDetail detail)
{
    const EntryView oldView = before ? EntryView(*before) : EntryView();
    const EntryView newView = after ? EntryView(*after) : EntryView();
    return compareEntries(index, before ? &oldView : nullptr, after ? &newView : nullptr, detail);
}

EntryComparison compareEntries(int index, const EntryView *before, const EntryView *after, DiffDetail detail)
{
    using Kind = EntryComparison::Kind;
    EntryComparison comparison;
    comparison.entry = index;
    if (!after) {
        comparison.kind = before ? Kind::Removed : Kind::Same;
        return comparison;
    }
    if (!before || *before == *after) {
        // Equal bytes show equal text: only the lines are counted.
        const EntryTables tables = readTables(*after);
        comparison.kind = before ? Kind::Same : Kind::Added;
        comparison.lines = tables.ok ? tables.lines : 0;
        comparison.changed = before ? 0 : comparison.lines;
        return comparison;
    }

    const EntryTables old = readTables(*before);
    const EntryTables now = readTables(*after);
    comparison.lines = now.ok ? now.lines : 0;
    if (!old.ok || !now.ok) {
        comparison.kind = Kind::Bytes;
        comparison.changed = comparison.lines; // nothing to compare the lines with
        return comparison;
    }

    SectionComparer comparer(old, now, detail);
    const qsizetype sections = qMax(old.sections.size(), now.sections.size());
    for (qsizetype s = 0; s < sections; ++s) {
        SectionDifference section;
        if (s >= old.sections.size()) {
            section.presence = SectionDifference::Presence::Added;
            section.section = int(s);
            section.linesAfter = int(now.sections.at(s).lines.size());
            comparison.changed += section.linesAfter;
        } else if (s >= now.sections.size()) {
            section.presence = SectionDifference::Presence::Removed;
            section.section = int(s);
            section.linesBefore = int(old.sections.at(s).lines.size());
        } else {
            const qint64 changedBefore = comparison.changed;
            section = comparer.compare(int(s), old.sections.at(s), now.sections.at(s), &comparison.changed);
            const bool same = comparison.changed == changedBefore && section.linesBefore == section.linesAfter;
            if (same)
                continue;
        }
        comparison.sections.append(std::move(section));
    }
    comparison.kind = comparison.sections.isEmpty() ? Kind::Same : Kind::Text;
    return comparison;
}

void compareArchives(const Narc &before, const Narc &after, DiffDetail detail,
                     const std::function<void(const EntryComparison &)> &visit)
{
    const qsizetype count = qMax(before.files.size(), after.files.size());
    for (qsizetype i = 0; i < count; ++i) {
        const NarcEntry *old = i < before.files.size() ? &before.files.at(i) : nullptr;
        const NarcEntry *now = i < after.files.size() ? &after.files.at(i) : nullptr;
        visit(compareEntries(int(i), old, now, detail));
    }
}

void DiffTotals::add(const EntryComparison &comparison)
{
    lines += comparison.lines;
    changed += comparison.changed;
    if (comparison.differs())
        ++entriesChanged;
}

} // namespace core
