#include "search/search.h"

#include "codec/decode.h"
#include "codec/messageheader.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

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
    int sectionsMatched = 0;
    int sectionsUnreadable = 0;
};

// Finds the occurrences of `query` in the lines of a section, given joined by
// "\n" (a line holds no "\n": it shows escaped), as if each line were searched
// on its own; a query holding "\n" cannot match and is not searched for. Keeps
// them, at their line and column, while `keep` holds and there are fewer than
// `keepAtMost`. Returns how many there are.
qint64 searchSection(const QString &text, int entry, int section, const SearchQuery &query,
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
            out.reports.append({out.matches.size(), QStringLiteral("Cannot decode entry ") + QString::number(e)
                                                         + QStringLiteral(": ") + head.error});
            ++out.sectionsUnreadable;
            continue;
        }
        for (int s = 0; s < head.header.sectionCount; ++s) {
            const DecodedSection decoded = decodeMessageSection(entry, s, DecodeForm::Text);
            if (!decoded.error.isEmpty()) {
                out.reports.append({out.matches.size(), QStringLiteral("Cannot decode section ") + QString::number(s)
                                                             + QStringLiteral(" of entry ") + QString::number(e)
                                                             + QStringLiteral(": ") + decoded.error});
                ++out.sectionsUnreadable;
                continue;
            }
            const qint64 before = out.matchCount;
            if (canMatch)
                out.matchCount += searchSection(decoded.text, e, s, query, keep, keepAtMost, out);
            if (out.matchCount > before)
                ++out.sectionsMatched;
        }
    }
}

unsigned workerCount(int blockCount)
{
    const unsigned cores = qMax(1u, std::thread::hardware_concurrency());
    return qMin(qMin(cores, maxThreads), unsigned(qMax(0, blockCount)));
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
    const auto searchBlockNumber = [&](int block, const std::atomic<bool> &keep, BlockResult &out) {
        const int first = block * entriesPerBlock;
        searchBlock(narc, first, qMin(entryCount, first + entriesPerBlock), query, keep, visitAtMost, out);
    };

    // Whether matches are still worth keeping: the visitor wants more.
    std::atomic<bool> keep{visitAtMost > 0};
    qint64 visited = 0;
    // Hands one block's findings over, in order; false once the visitor asked to stop.
    const auto deliver = [&](const BlockResult &block) {
        summary.matches += block.matchCount;
        summary.sectionsMatched += block.sectionsMatched;
        summary.sectionsUnreadable += block.sectionsUnreadable;
        qsizetype report = 0;
        for (qsizetype k = 0; k <= block.matches.size(); ++k) {
            while (report < block.reports.size() && block.reports.at(report).first <= k)
                observer.report(block.reports.at(report++).second);
            if (k == block.matches.size() || visited >= visitAtMost)
                continue;
            ++visited;
            if (!visit(block.matches.at(k), block.lineTexts.at(k))) {
                summary.stopped = true;
                return false;
            }
        }
        if (visited >= visitAtMost)
            keep.store(false, std::memory_order_relaxed);
        return true;
    };

    const unsigned threads = workerCount(blockCount);
    std::vector<std::thread> workers;
    std::vector<BlockResult> results;
    std::vector<char> done;
    std::mutex mutex;
    std::condition_variable changed;
    int nextClaim = 0;
    int nextDelivery = 0;
    bool stop = false;
    // Blocks found but not yet handed over stay within this many.
    const int window = 4 * int(threads);
    const auto work = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || nextClaim >= blockCount || nextClaim < nextDelivery + window; });
            if (stop || nextClaim >= blockCount)
                return;
            const int block = nextClaim++;
            lock.unlock();
            searchBlockNumber(block, keep, results[size_t(block)]);
            lock.lock();
            done[size_t(block)] = 1;
            changed.notify_all();
        }
    };
    if (threads > 1) {
        results.resize(size_t(blockCount));
        done.assign(size_t(blockCount), 0);
        for (unsigned t = 0; t < threads; ++t) {
            try {
                workers.emplace_back(work);
            } catch (const std::system_error &) {
                break; // fewer threads, or none: the loop below does the work itself
            }
        }
    }

    // However the handing over ends (the visitor stops, or throws), the workers
    // are stopped and joined before anything they use goes away.
    struct StopAndJoin
    {
        std::mutex &mutex;
        std::condition_variable &changed;
        bool &stop;
        std::vector<std::thread> &workers;
        ~StopAndJoin()
        {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                stop = true;
            }
            changed.notify_all();
            for (std::thread &worker : workers)
                worker.join();
        }
    } const joinAtEnd{mutex, changed, stop, workers};

    if (workers.empty()) {
        for (int block = 0; block < blockCount; ++block) {
            BlockResult result;
            searchBlockNumber(block, keep, result);
            if (!deliver(result))
                break;
        }
        return summary;
    }

    for (int block = 0; block < blockCount; ++block) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return done[size_t(block)] != 0; });
        }
        const BlockResult result = std::exchange(results[size_t(block)], BlockResult());
        const bool goOn = deliver(result);
        {
            const std::lock_guard<std::mutex> lock(mutex);
            nextDelivery = block + 1;
            stop = !goOn;
        }
        changed.notify_all();
        if (!goOn)
            break;
    }
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
    found.total = summary.matches;
    found.sectionsUnreadable = summary.sectionsUnreadable;
    return found;
}

} // namespace core
