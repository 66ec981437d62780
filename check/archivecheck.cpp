#include "check/archivecheck.h"

#include "check/escapes.h"
#include "codec/decode.h"
#include "codec/messageheader.h"
#include "report/lines.h"

namespace core {

namespace {

// The sections a message file has, or the reason it cannot be read. An empty
// entry has none.
Result<int> sectionCount(const NarcEntry &entry)
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

    void entry(const Narc &narc, int index);
    CheckSummary summary;

private:
    void find(const QString &place, const QString &what)
    {
        if (summary.stopped)
            return;
        ++summary.findings;
        summary.stopped = !sink(findingLine(place, what));
    }
    void section(const NarcEntry &entry, const NarcEntry *reference, int entryIndex, int sectionIndex);
    void line(const MessagePlace &place, const QString &text, const QString *reference);

    const ArchiveCheck &check;
    const FindingSink &sink;
};

void Checker::entry(const Narc &narc, int index)
{
    const Narc *reference = check.reference;
    if (index >= narc.files.size()) {
        find(entryPlaceText(index), onlyInReferenceText());
        return;
    }
    const NarcEntry &entry = narc.files.at(index);
    const Result<int> sections = sectionCount(entry);
    if (!sections) {
        find(entryPlaceText(index), cannotBeDecodedText(sections.reason));
        return;
    }

    const NarcEntry *original = nullptr;
    if (reference && index >= reference->files.size()) {
        find(entryPlaceText(index), notInReferenceText());
    } else if (reference) {
        original = &reference->files.at(index);
        const Result<int> originalSections = sectionCount(*original);
        if (!originalSections) {
            find(entryPlaceText(index), referenceCannotBeDecodedText(originalSections.reason));
            original = nullptr;
        } else if (originalSections.value != sections.value) {
            find(entryPlaceText(index), sectionCountDiffersText(sections.value, originalSections.value));
        }
    }
    for (int s = 0; s < sections.value && !summary.stopped; ++s)
        section(entry, original, index, s);
}

void Checker::section(const NarcEntry &entry, const NarcEntry *reference, int entryIndex, int sectionIndex)
{
    const DecodedSection decoded = decodeMessageSection(entry, sectionIndex);
    if (!decoded.ok()) {
        find(sectionPlaceText(entryIndex, sectionIndex), cannotBeDecodedText(decoded.reason));
        return;
    }
    DecodedSection original;
    if (reference) {
        original = decodeMessageSection(*reference, sectionIndex);
        if (!original.ok()) {
            find(sectionPlaceText(entryIndex, sectionIndex), referenceCannotBeDecodedText(original.reason));
        } else if (original.present && original.lines.size() != decoded.lines.size()) {
            find(sectionPlaceText(entryIndex, sectionIndex),
                 lineCountDiffersText(int(decoded.lines.size()), int(original.lines.size())));
            original.present = false; // lines of different sections would be compared
        }
    }
    const bool compare = original.ok() && original.present;
    for (int l = 0; l < decoded.lines.size() && !summary.stopped; ++l)
        line({entryIndex, sectionIndex, l + 1}, decoded.lines.at(l), compare ? &original.lines.at(l) : nullptr);
}

void Checker::line(const MessagePlace &place, const QString &text, const QString *reference)
{
    ++summary.lines;
    if (check.width.active()) {
        const QList<TextRow> rows = textRows(text, check.width.breaks);
        for (int r = 0; r < rows.size(); ++r) {
            if (rows.at(r).width > check.width.limit)
                find(messagePlaceText(place), tooWideText(rows.at(r).width, check.width.limit, r + 1, int(rows.size())));
        }
    }
    if (reference) {
        const EscapeChange change = compareEscapes(*reference, text, check.width.breaks);
        if (change.changed())
            find(messagePlaceText(place), change.text(EscapeOrigin::Reference));
    }
}

} // namespace

CheckSummary checkArchive(const Narc &narc, const ArchiveCheck &check, const FindingSink &sink,
                          BulkObserver &observer)
{
    const qsizetype count = qMax(narc.files.size(), check.reference ? check.reference->files.size() : 0);
    observer.begin(int(count));
    Checker checker(check, sink);
    for (int i = 0; i < count && !checker.summary.stopped; ++i) {
        observer.progress(i);
        checker.entry(narc, i);
    }
    return checker.summary;
}

} // namespace core
