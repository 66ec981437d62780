#include "diff/entrydiff.h"

#include "codec/decode.h"
#include "codec/messageheader.h"

namespace core {

namespace {

// The lines of every section of a message file, or none when it cannot be decoded.
struct DecodedEntry
{
    QList<QStringList> sections;
    bool ok = false;
};

DecodedEntry decodeEntry(EntryView entry)
{
    DecodedEntry decoded;
    if (entry.isEmpty()) { // a message file without sections
        decoded.ok = true;
        return decoded;
    }
    const MessageHeaderRead head = readMessageHeader(entry);
    if (!head.ok())
        return decoded;
    for (int s = 0; s < head.header.sectionCount; ++s) {
        DecodedSection section = decodeMessageSection(entry, s, DecodeForm::Lines);
        if (!section.ok())
            return decoded;
        decoded.sections.append(std::move(section.lines));
    }
    decoded.ok = true;
    return decoded;
}

// The lines of a message file, found from its head and line tables without
// decoding a line; -1 when it cannot be decoded. Decoding checks no more than
// the tables (the units of a line are any units).
qint64 lineCount(EntryView entry)
{
    if (entry.isEmpty())
        return 0;
    const MessageHeaderRead head = readMessageHeader(entry);
    if (!head.ok())
        return -1;
    for (int s = 0; s < head.header.sectionCount; ++s) {
        if (!decodeMessageSection(entry, s, DecodeForm::KeysOnly).ok())
            return -1;
    }
    return qint64(head.header.sectionCount) * head.header.lineCount;
}

qint64 totalLines(const DecodedEntry &entry)
{
    qint64 lines = 0;
    for (const QStringList &section : entry.sections)
        lines += section.size();
    return lines;
}

// Section `index` of both entries, line by line.
SectionDifference compareSection(int index, const QStringList &before, const QStringList &after,
                                 DiffDetail detail, qint64 *changed)
{
    SectionDifference section;
    section.section = index;
    section.linesBefore = int(before.size());
    section.linesAfter = int(after.size());
    const qsizetype common = qMin(before.size(), after.size());
    for (qsizetype i = 0; i < qMax(before.size(), after.size()); ++i) {
        if (i < common && before.at(i) == after.at(i))
            continue;
        if (i < after.size())
            ++*changed;
        if (detail == DiffDetail::Lines) {
            LineDifference line;
            line.line = int(i + 1);
            line.inBefore = i < before.size();
            line.inAfter = i < after.size();
            if (line.inBefore)
                line.before = before.at(i);
            if (line.inAfter)
                line.after = after.at(i);
            section.lines.append(std::move(line));
        }
    }
    return section;
}

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
        comparison.kind = before ? Kind::Same : Kind::Added;
        comparison.lines = qMax<qint64>(0, lineCount(*after));
        comparison.changed = before ? 0 : comparison.lines;
        return comparison;
    }

    const DecodedEntry old = decodeEntry(*before);
    const DecodedEntry now = decodeEntry(*after);
    comparison.lines = now.ok ? totalLines(now) : 0;
    if (!old.ok || !now.ok) {
        comparison.kind = Kind::Bytes;
        comparison.changed = comparison.lines; // nothing to compare the lines with
        return comparison;
    }

    bool differs = false;
    const qsizetype sections = qMax(old.sections.size(), now.sections.size());
    for (qsizetype s = 0; s < sections; ++s) {
        SectionDifference section;
        if (s >= old.sections.size()) {
            section.presence = SectionDifference::Presence::Added;
            section.section = int(s);
            section.linesAfter = int(now.sections.at(s).size());
            comparison.changed += section.linesAfter;
        } else if (s >= now.sections.size()) {
            section.presence = SectionDifference::Presence::Removed;
            section.section = int(s);
            section.linesBefore = int(old.sections.at(s).size());
        } else {
            const qint64 changedBefore = comparison.changed;
            section = compareSection(int(s), old.sections.at(s), now.sections.at(s), detail, &comparison.changed);
            const bool same = comparison.changed == changedBefore && section.linesBefore == section.linesAfter;
            if (same)
                continue;
        }
        differs = true;
        comparison.sections.append(std::move(section));
    }
    comparison.kind = differs ? Kind::Text : Kind::Same;
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
