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
    void line(const MessagePlace &place, QStringView text, const QStringView *reference);

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

void Checker::section(const NarcEntry &entry, const NarcEntry *reference, int entryIndex, int sectionIndex)
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
                find(messagePlaceText(place), tooWideText(rows.at(r).width, check.width.limit, r + 1, int(rows.size())));
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
