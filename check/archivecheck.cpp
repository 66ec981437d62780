#include "check/archivecheck.h"

#include "check/escapes.h"
#include "codec/decode.h"
#include "codec/messageheader.h"
#include "report/lines.h"

namespace core {

namespace {

// The sections a message file has, or the reason it cannot be read. An empty
// entry has none.
Result<int> sectionCount(EntryView entry)
{
    if (entry.isEmpty())
        return Result<int>::success(0);
    const MessageHeaderRead head = readMessageHeader(entry);
    if (!head.ok())
        return Result<int>::failure(head.reason);
    return Result<int>::success(head.header.sectionCount);
}

class Checker
{
public:
    Checker(const ArchiveCheck &check, const FindingSink &sink)
        : check(check)
        , sink(sink)
    {
    }

    // Entry `index`; null when only the reference (or only the archive) has it.
    void entry(int index, const EntryView *entry, const EntryView *reference, bool withReference);
    CheckSummary summary;

private:
    void find(const QString &place, const QString &what)
    {
        if (summary.stopped)
            return;
        ++summary.findings;
        summary.stopped = !sink(findingLine(place, what));
    }
    void section(EntryView entry, const EntryView *reference, int entryIndex, int sectionIndex);
    void line(const MessagePlace &place, QStringView text, const QStringView *reference);

    const ArchiveCheck &check;
    const FindingSink &sink;
};

void Checker::entry(int index, const EntryView *entry, const EntryView *reference, bool withReference)
{
    if (!entry) {
        find(entryPlaceText(index), onlyInReferenceText());
        return;
    }
    const Result<int> sections = sectionCount(*entry);
    if (!sections) {
        find(entryPlaceText(index), cannotBeDecodedText(sections.reason));
        return;
    }

    const EntryView *original = nullptr;
    if (withReference && !reference) {
        find(entryPlaceText(index), notInReferenceText());
    } else if (reference) {
        original = reference;
        const Result<int> originalSections = sectionCount(*original);
        if (!originalSections) {
            find(entryPlaceText(index), referenceCannotBeDecodedText(originalSections.reason));
            original = nullptr;
        } else if (originalSections.value != sections.value) {
            find(entryPlaceText(index), sectionCountDiffersText(sections.value, originalSections.value));
        }
    }
    for (int s = 0; s < sections.value && !summary.stopped; ++s)
        section(*entry, original, index, s);
}

// The lines of a section decoded as one text: views into it, no copies.
QList<QStringView> linesOf(const DecodedSection &decoded)
{
    QList<QStringView> lines;
    lines.reserve(decoded.lineKeys.size());
    for (const QStringView line : QStringView(decoded.text).tokenize(u'\n'))
        lines.append(line);
    lines.resize(decoded.lineKeys.size()); // a section of no lines decodes to "", one empty part
    return lines;
}

void Checker::section(EntryView entry, const EntryView *reference, int entryIndex, int sectionIndex)
{
    const DecodedSection decoded = decodeMessageSection(entry, sectionIndex, DecodeForm::Text);
    if (!decoded.ok()) {
        find(sectionPlaceText(entryIndex, sectionIndex), cannotBeDecodedText(decoded.reason));
        return;
    }
    const QList<QStringView> lines = linesOf(decoded);
    DecodedSection original;
    QList<QStringView> originalLines;
    if (reference) {
        original = decodeMessageSection(*reference, sectionIndex, DecodeForm::Text);
        originalLines = linesOf(original);
        if (!original.ok()) {
            find(sectionPlaceText(entryIndex, sectionIndex), referenceCannotBeDecodedText(original.reason));
            originalLines.clear();
        } else if (original.present && originalLines.size() != lines.size()) {
            find(sectionPlaceText(entryIndex, sectionIndex),
                 lineCountDiffersText(int(lines.size()), int(originalLines.size())));
            originalLines.clear(); // lines of different sections would be compared
        }
    }
    const bool compare = !originalLines.isEmpty();
    for (int l = 0; l < lines.size() && !summary.stopped; ++l)
        line({entryIndex, sectionIndex, l + 1}, lines.at(l), compare ? &originalLines.at(l) : nullptr);
}

void Checker::line(const MessagePlace &place, QStringView text, const QStringView *reference)
{
    ++summary.lines;
    if (check.width.active()) {
        const TextRows rows = textRows(text, check.width.breaks);
        for (int r = 0; r < rows.size(); ++r) {
            if (rows.at(r).width > check.width.limit)
                find(messagePlaceText(place),
                     tooWideText(rows.at(r).width, check.width.limit, r + 1, int(rows.size())));
        }
    }
    // A line left as the reference has it keeps its escapes.
    if (reference && *reference != text) {
        const EscapeChange change = compareEscapes(*reference, text, check.width.breaks);
        if (change.changed())
            find(messagePlaceText(place), change.text(EscapeOrigin::Reference));
    }
}

} // namespace

CheckSummary checkArchive(const Narc &narc, const ArchiveCheck &check, const FindingSink &sink, BulkObserver &observer)
{
    HeldEntries entries(narc);
    if (!check.reference)
        return checkArchive(entries, nullptr, check, sink, observer);
    HeldEntries reference(*check.reference);
    return checkArchive(entries, &reference, check, sink, observer);
}

CheckSummary checkArchive(EntrySource &entries, EntrySource *reference, const ArchiveCheck &check,
                          const FindingSink &sink, BulkObserver &observer)
{
    const int count = entries.count();
    const int referenceCount = reference ? reference->count() : 0;
    const int total = qMax(count, referenceCount);
    observer.begin(total);
    Checker checker(check, sink);
    entries.rewind();
    if (reference)
        reference->rewind();
    EntryView entry;
    EntryView original;
    for (int i = 0; i < total && !checker.summary.stopped; ++i) {
        observer.progress(i);
        const bool here = i < count;
        const bool there = i < referenceCount;
        if ((here && !entries.next(&entry)) || (there && !reference->next(&original))) {
            checker.summary.readFailed = true;
            break;
        }
        checker.entry(i, here ? &entry : nullptr, there ? &original : nullptr, reference != nullptr);
    }
    return checker.summary;
}

} // namespace core
