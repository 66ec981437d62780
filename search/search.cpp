#include "search/search.h"

#include "codec/decode.h"
#include "codec/messageheader.h"
#include "report/lines.h"
#include "search/orderedwork.h"

#include <atomic>
#include <utility>

namespace core {

namespace {

// Entries per unit of work: small enough that the threads stay busy to the end
// and the results waiting to be handed over stay small.
constexpr int entriesPerBlock = 64;
constexpr unsigned maxThreads = 8;

// What the search found in one block of entries, for handing over in order.
struct BlockResult
{
    QList<SearchMatch> matches; // the ones kept for the visitor
    QList<QString> lineTexts;
    // Report lines, each after the given number of kept matches of the block.
    QList<std::pair<qsizetype, QString>> reports;
    qint64 matchCount = 0;
    qint64 insideEscapes = 0;
    int sectionsMatched = 0;
    int sectionsUnreadable = 0;
};

// Finds the occurrences of `query` in the lines of a section, given joined by
// "\n" (a line holds no "\n": it shows escaped), as if each line were searched
// on its own; a query holding "\n" cannot match and is not searched for. Keeps
// them, at their line and column, while `keep` holds and there are fewer than
// `keepAtMost`.
Occurrences searchSection(const QString &text, int entry, int section, const SearchQuery &query,
                     const std::atomic<bool> &keep, qint64 keepAtMost, BlockResult &out)
{
    SearchMatch match;
    match.entry = entry;
    match.section = section;
    match.length = int(query.text.size());
    // The line of the last kept match: its index, where it starts and ends in
    // `text` (-1: not looked for yet), and its text once a match needed it.
    int line = 0;
    qsizetype lineStart = 0;
    qsizetype lineEnd = -1;
    const auto endOfLine = [&](qsizetype from) {
        const qsizetype at = text.indexOf(QLatin1Char('\n'), from);
        return at < 0 ? text.size() : at;
    };
    QString lineText;
    int lineTextOf = -1;
    return forEachOccurrence(text, query, [&](qsizetype at) {
        if (out.matches.size() >= keepAtMost || !keep.load(std::memory_order_relaxed))
            return true;
        if (lineEnd < 0)
            lineEnd = endOfLine(0);
        while (at > lineEnd) {
            lineStart = lineEnd + 1;
            ++line;
            lineEnd = endOfLine(lineStart);
        }
        if (lineTextOf != line) {
            lineText = text.sliced(lineStart, lineEnd - lineStart);
            lineTextOf = line;
        }
        match.line = line;
        match.column = int(at - lineStart);
        out.matches.append(match);
        out.lineTexts.append(lineText);
        return true;
    });
}

// Decodes and searches entries [first, end). Keeps matches while `keep` holds and
// the block has fewer than `keepAtMost`; counts them all.
void searchBlock(const Narc &narc, int first, int end, const SearchQuery &query, const std::atomic<bool> &keep,
                 qint64 keepAtMost, BlockResult &out)
{
    const bool canMatch = !query.text.contains(QLatin1Char('\n'));
    for (int e = first; e < end; ++e) {
        const NarcEntry &entry = narc.files.at(e);
        if (entry.isEmpty())
            continue; // no sections: nothing to search
        // A head that cannot be read says nothing trustworthy about its sections.
        const MessageHeaderRead head = readMessageHeader(entry);
        if (!head.ok()) {
            out.reports.append({out.matches.size(), cannotDecodeEntryLine(e, head.reason)});
            ++out.sectionsUnreadable;
            continue;
        }
        for (int s = 0; s < head.header.sectionCount; ++s) {
            const DecodedSection decoded = decodeMessageSection(entry, s, DecodeForm::Text);
            if (!decoded.ok()) {
                out.reports.append({out.matches.size(), cannotDecodeLine(e, s, decoded.reason)});
                ++out.sectionsUnreadable;
                continue;
            }
            if (!canMatch)
                continue;
            const Occurrences found = searchSection(decoded.text, e, s, query, keep, keepAtMost, out);
            out.matchCount += found.found;
            out.insideEscapes += found.insideEscapes;
            if (found.found > 0)
                ++out.sectionsMatched;
        }
    }
}

} // namespace

SearchSummary searchArchive(const Narc &narc, const SearchQuery &query, BulkObserver &observer,
                            const MatchVisitor &visit, qint64 visitAtMost)
{
    SearchSummary summary;
    if (!visit)
        visitAtMost = 0;
    if (query.text.isEmpty())
        return summary;
    const int entryCount = int(narc.files.size());
    const int blockCount = (entryCount + entriesPerBlock - 1) / entriesPerBlock;

    // Whether matches are still worth keeping: the visitor wants more.
    std::atomic<bool> keep{visitAtMost > 0};
    qint64 visited = 0;
    const auto work = [&](int block, BlockResult &out) {
        const int first = block * entriesPerBlock;
        searchBlock(narc, first, qMin(entryCount, first + entriesPerBlock), query, keep, visitAtMost, out);
    };
    // Hands one block's findings over; false once the visitor asked to stop.
    const auto deliver = [&](const BlockResult &block) {
        summary.matches += block.matchCount;
        summary.insideEscapes += block.insideEscapes;
        summary.sectionsMatched += block.sectionsMatched;
        summary.sectionsUnreadable += block.sectionsUnreadable;
        qsizetype report = 0;
        for (qsizetype k = 0; k <= block.matches.size(); ++k) {
            while (report < block.reports.size() && block.reports.at(report).first <= k)
                observer.report(block.reports.at(report++).second);
            if (k == block.matches.size() || visited >= visitAtMost)
                continue;
            ++visited;
            if (!visit(block.matches.at(k), block.lineTexts.at(k)))
                return false;
        }
        if (visited >= visitAtMost)
            keep.store(false, std::memory_order_relaxed);
        return true;
    };
    runInOrder<BlockResult>(blockCount, maxThreads, work, deliver);
    return summary;
}

SearchSummary countMatches(const Narc &narc, const SearchQuery &query, BulkObserver &observer)
{
    return searchArchive(narc, query, observer, {}, 0);
}

FoundMatches findInArchive(const Narc &narc, const SearchQuery &query, BulkObserver &observer, qsizetype limit)
{
    FoundMatches found;
    const SearchSummary summary = searchArchive(
        narc, query, observer,
        [&](const SearchMatch &match, const QString &line) {
            found.matches.append(match);
            found.lineTexts.append(line);
            return true;
        },
        limit);
    found.summary = summary;
    return found;
}

} // namespace core
