#include "diff/difftext.h"

#include "report/lines.h"

namespace core {

namespace {

const QChar newline = QLatin1Char('\n');

// The lines of `section` from `first` on that differ with no line between them
// that does not, as one hunk.
qsizetype appendHunk(QString &out, int entry, const SectionDifference &section, qsizetype first)
{
    qsizetype last = first;
    while (last + 1 < section.lines.size() && section.lines.at(last + 1).line == section.lines.at(last).line + 1)
        ++last;
    out += diffHunkHeaderLine(entry, section.section, section.lines.at(first).line, section.lines.at(last).line)
           + newline;
    for (qsizetype i = first; i <= last; ++i) {
        const LineDifference &line = section.lines.at(i);
        if (line.inBefore)
            out += diffOldLine(line.before) + newline;
        if (line.inAfter)
            out += diffNewLine(line.after) + newline;
    }
    return last + 1;
}

void appendSection(QString &out, int entry, const SectionDifference &section)
{
    switch (section.presence) {
    case SectionDifference::Presence::Added:
        out += sectionAddedLine(entry, section.section) + newline;
        return;
    case SectionDifference::Presence::Removed:
        out += sectionRemovedLine(entry, section.section) + newline;
        return;
    case SectionDifference::Presence::Both:
        break;
    }
    if (section.linesBefore != section.linesAfter)
        out += lineCountChangedLine(entry, section.section, section.linesBefore, section.linesAfter) + newline;
    for (qsizetype i = 0; i < section.lines.size();)
        i = appendHunk(out, entry, section, i);
}

} // namespace

QString diffText(const EntryComparison &comparison)
{
    using Kind = EntryComparison::Kind;
    switch (comparison.kind) {
    case Kind::Same:
        return {};
    case Kind::Added:
        return entryAddedLine(comparison.entry) + newline;
    case Kind::Removed:
        return entryRemovedLine(comparison.entry) + newline;
    case Kind::Bytes:
        return bytesDifferLine(comparison.entry) + newline;
    case Kind::Text:
        break;
    }
    QString out;
    for (const SectionDifference &section : comparison.sections)
        appendSection(out, comparison.entry, section);
    return out;
}

QString diffStatText(const EntryComparison &comparison)
{
    using Kind = EntryComparison::Kind;
    switch (comparison.kind) {
    case Kind::Same:
        return {};
    case Kind::Added:
        return entryAddedStatLine(comparison.entry, comparison.lines) + newline;
    case Kind::Removed:
        return entryRemovedLine(comparison.entry) + newline;
    case Kind::Bytes:
        return bytesDifferLine(comparison.entry) + newline;
    case Kind::Text:
        break;
    }
    return entryLinesChangedLine(comparison.entry, comparison.changed, comparison.lines) + newline;
}

QString diffTotalText(const DiffTotals &totals)
{
    return diffTotalLine(totals.changed, totals.lines, totals.entriesChanged) + newline;
}

} // namespace core
