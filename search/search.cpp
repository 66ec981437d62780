#include "search/search.h"

#include "codec/decode.h"
#include "codec/messageheader.h"
#include "codec/utf8text.h"
#include "report/lines.h"
#include "search/orderedwork.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace core {

namespace {

// Entries per unit of work: small enough that the threads stay busy to the end
// and the results waiting to be handed over stay small.
constexpr int entriesPerBlock = 16;
constexpr unsigned maxThreads = 8;

// One block of entries and what the search found in it, for handing over in order.
struct BlockResult
{
    // The block's entries: views into the archive held in memory, or into
    // `bytes`, where they were copied as the block was claimed.
    int first = 0;
    QList<EntryView> entries;
    QByteArray bytes;
    bool readFailed = false;

    QList<SearchMatch> matches; // the ones kept for the visitor
    QList<QString> lineTexts;
    // Report lines, each after the given number of kept matches of the block.
    QList<std::pair<qsizetype, QString>> reports;
    qint64 matchCount = 0;
    qint64 insideEscapes = 0;
    int sectionsMatched = 0;
    int sectionsUnreadable = 0;
};

// How a query is looked for: in the UTF-8 bytes of the sections (case-sensitive
// text, which matches where its bytes do) or in their text.
struct Searcher
{
    const SearchQuery &query;
    QByteArray utf8; // the query's bytes, when it is searched for in UTF-8
    bool canMatch;   // a query holding "\n" cannot match: a line holds none
    bool spareEscapes;
    // Units a section must store one after another to hold a match, so that one
    // that does not is passed over undecoded (none when this cannot be told):
    // the query's first unit, when it shows as itself and no escape's text holds
    // it (then no match starts inside an escape); the whole query when moreover
    // every unit shows as itself (then a match is the same units stored).
    int required = 0;

    explicit Searcher(const SearchQuery &query)
        : query(query)
        , canMatch(!query.text.contains(QLatin1Char('\n')))
        , spareEscapes(!query.text.contains(QLatin1Char('\\')))
    {
        // A lone surrogate has no UTF-8 bytes; such a query is searched in text.
        if (query.sensitivity == Qt::CaseSensitive && query.text.isValidUtf16())
            utf8 = query.text.toUtf8();
        const char16_t first = query.text.isEmpty() ? u'\\' : query.text.front().unicode();
        const bool inEscapes = first == u'x' || first == u'X' || (first >= u'0' && first <= u'9')
                               || (first >= u'a' && first <= u'f') || (first >= u'A' && first <= u'F');
        const quint32 *shown = unitUtf8Table();
        if (inUtf8() && !inEscapes && shown[first] != 0) {
            required = 1;
            while (required < query.text.size() && shown[query.text.at(required).unicode()] != 0)
                ++required;
            if (required < query.text.size())
                required = 1;
        }
    }
    bool inUtf8() const { return !utf8.isEmpty(); }
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

// Whether byte `at` of escaped text in UTF-8 lies inside an escape: after its
// backslash and before its end. Every backslash of decoded text starts an escape
// of six ASCII bytes, so this is whether one of the five bytes before is one.
bool insideEscape(const char *text, qsizetype at)
{
    for (qsizetype q = qMax<qsizetype>(0, at - 5); q < at; ++q) {
        if (text[q] == '\\')
            return true;
    }
    return false;
}

// UTF-16 units of the UTF-8 bytes [from, to), which start and end at characters.
int unitsIn(const char *from, const char *to)
{
    int units = 0;
    for (; from < to; ++from) {
        const uchar c = uchar(*from);
        units += (c & 0xC0) != 0x80;
        units += c >= 0xF0; // a character beyond the BMP is a surrogate pair
    }
    return units;
}

// searchSection over the section's text as UTF-8, as the bytes of a
// case-sensitive query match where its characters do: the same occurrences,
// lines and columns (in UTF-16 units), found with memmem.
Occurrences searchSectionUtf8(QByteArrayView text, int entry, int section, const Searcher &searcher,
                              const std::atomic<bool> &keep, qint64 keepAtMost, BlockResult &out)
{
    Occurrences count;
    const char *data = text.data();
    const qsizetype size = text.size();
    const QByteArray &query = searcher.utf8;
    const qsizetype length = query.size();
    SearchMatch match;
    match.entry = entry;
    match.section = section;
    match.length = int(searcher.query.text.size());
    int line = 0;
    qsizetype lineStart = 0;
    qsizetype lineEnd = -1;
    const auto endOfLine = [&](qsizetype from) {
        const void *at = std::memchr(data + from, '\n', size_t(size - from));
        return at ? static_cast<const char *>(at) - data : size;
    };
    QString lineText;
    int lineTextOf = -1;
    qsizetype from = 0;
    qsizetype leftAloneEnd = 0;
    while (from + length <= size) {
        const void *found = memmem(data + from, size_t(size - from), query.constData(), size_t(length));
        if (!found)
            break;
        const qsizetype at = static_cast<const char *>(found) - data;
        if (searcher.spareEscapes && (insideEscape(data, at) || insideEscape(data, at + length))) {
            if (at >= leftAloneEnd) {
                ++count.insideEscapes;
                leftAloneEnd = at + length;
            }
            from = at + 1;
            continue;
        }
        ++count.found;
        from = at + length;
        if (out.matches.size() >= keepAtMost || !keep.load(std::memory_order_relaxed))
            continue;
        if (lineEnd < 0)
            lineEnd = endOfLine(0);
        while (at > lineEnd) {
            lineStart = lineEnd + 1;
            ++line;
            lineEnd = endOfLine(lineStart);
        }
        if (lineTextOf != line) {
            lineText = QString::fromUtf8(data + lineStart, lineEnd - lineStart);
            lineTextOf = line;
        }
        match.line = line;
        match.column = unitsIn(data + lineStart, data + at);
        out.matches.append(match);
        out.lineTexts.append(lineText);
    }
    return count;
}

// Decodes and searches the entries of `block`. Keeps matches while `keep` holds
// and the block has fewer than `keepAtMost`; counts them all.
void searchBlock(BlockResult &block, const Searcher &searcher, const std::atomic<bool> &keep, qint64 keepAtMost)
{
    QByteArray utf8; // one section's text, reused
    for (qsizetype k = 0; k < block.entries.size(); ++k) {
        const int e = block.first + int(k);
        const EntryView entry = block.entries.at(k);
        if (entry.isEmpty())
            continue; // no sections: nothing to search
        // A head that cannot be read says nothing trustworthy about its sections.
        const MessageHeaderRead head = readMessageHeader(entry);
        if (!head.ok()) {
            block.reports.append({block.matches.size(), cannotDecodeEntryLine(e, head.reason)});
            ++block.sectionsUnreadable;
            continue;
        }
        for (int s = 0; s < head.header.sectionCount; ++s) {
            Occurrences found;
            QString reason;
            bool stored = true;
            if (searcher.required > 0 && searcher.canMatch)
                reason = sectionStoresUnits(entry, s,
                                            reinterpret_cast<const char16_t *>(searcher.query.text.constData()),
                                            searcher.required, &stored)
                             .reason;
            if (!reason.isEmpty() || !stored) {
                // Reported below, or nothing to find.
            } else if (searcher.inUtf8()) {
                utf8.resize(0);
                reason = appendSectionUtf8(utf8, entry, s).reason;
                if (reason.isEmpty() && searcher.canMatch)
                    found = searchSectionUtf8(utf8, e, s, searcher, keep, keepAtMost, block);
            } else {
                const DecodedSection decoded = decodeMessageSection(entry, s, DecodeForm::Text);
                reason = decoded.reason;
                if (reason.isEmpty() && searcher.canMatch)
                    found = searchSection(decoded.text, e, s, searcher.query, keep, keepAtMost, block);
            }
            if (!reason.isEmpty()) {
                block.reports.append({block.matches.size(), cannotDecodeLine(e, s, reason)});
                ++block.sectionsUnreadable;
                continue;
            }
            block.matchCount += found.found;
            block.insideEscapes += found.insideEscapes;
            if (found.found > 0)
                ++block.sectionsMatched;
        }
    }
}

// Block buffers given back once their block was handed over, for the blocks
// claimed next: a buffer allocated anew costs a page fault per 4 KiB on its
// first use, as much as the search itself on a small archive.
class BufferPool
{
public:
    QByteArray take()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (buffers.empty())
            return QByteArray();
        QByteArray bytes = std::move(buffers.back());
        buffers.pop_back();
        return bytes;
    }
    void give(QByteArray &&bytes)
    {
        if (bytes.capacity() == 0)
            return;
        bytes.resize(0); // keeps its memory
        const std::lock_guard<std::mutex> lock(mutex);
        buffers.push_back(std::move(bytes));
    }

private:
    std::mutex mutex;
    std::vector<QByteArray> buffers;
};

// Takes the next entries of `source` into `block`: views into an archive held in
// memory, copies of a streamed one's (its buffer is reused for the next entry).
void takeBlock(EntrySource &source, bool held, int first, int end, BlockResult &block)
{
    block.first = first;
    QList<qsizetype> offsets;
    EntryView entry;
    for (int e = first; e < end; ++e) {
        if (!source.next(&entry)) {
            block.readFailed = true;
            return;
        }
        if (held) {
            block.entries.append(entry);
            continue;
        }
        offsets.append(block.bytes.size());
        block.bytes.append(entry.constData(), entry.size());
    }
    for (qsizetype k = 0; k < offsets.size(); ++k) {
        const qsizetype start = offsets.at(k);
        const qsizetype stop = k + 1 < offsets.size() ? offsets.at(k + 1) : block.bytes.size();
        block.entries.append(EntryView(block.bytes.constData() + start, stop - start));
    }
}

} // namespace

SearchSummary searchArchive(const Narc &narc, const SearchQuery &query, BulkObserver &observer,
                            const MatchVisitor &visit, qint64 visitAtMost)
{
    HeldEntries entries(narc);
    return searchArchive(entries, query, observer, visit, visitAtMost, true);
}

SearchSummary searchArchive(EntrySource &entries, const SearchQuery &query, BulkObserver &observer,
                            const MatchVisitor &visit, qint64 visitAtMost, bool held)
{
    SearchSummary summary;
    if (!visit)
        visitAtMost = 0;
    if (query.text.isEmpty())
        return summary;
    const int entryCount = entries.count();
    const int blockCount = (entryCount + entriesPerBlock - 1) / entriesPerBlock;
    const Searcher searcher(query);
    entries.rewind();

    // Whether matches are still worth keeping: the visitor wants more.
    std::atomic<bool> keep{visitAtMost > 0};
    qint64 visited = 0;
    BufferPool pool;
    const auto claim = [&](int block, BlockResult &out) {
        const int first = block * entriesPerBlock;
        if (!held)
            out.bytes = pool.take();
        takeBlock(entries, held, first, qMin(entryCount, first + entriesPerBlock), out);
    };
    const auto work = [&](int, BlockResult &out) {
        if (!out.readFailed)
            searchBlock(out, searcher, keep, visitAtMost);
    };
    // Hands one block's findings over; false once the visitor asked to stop.
    const auto deliver = [&](BlockResult &block) {
        pool.give(std::move(block.bytes)); // its entries are searched
        if (block.readFailed)
            return false;
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
    runInOrder<BlockResult>(blockCount, maxThreads, claim, work, deliver);
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
