#pragma once

#include "codec/escape.h"
#include "narc/entrysource.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>
#include <limits>

namespace core {

// Search over the escaped text of every section of every entry, exactly as the
// editor shows it. Ignoring case folds characters as Qt's case-insensitive
// comparison does, one for one, so a match is always as long as the text
// searched for.
//
// An escape ("\x000a") stands for one unit: a match that starts or ends inside
// one (after its backslash) is no match, unless the text searched for holds a
// backslash itself (then the escapes are what is searched for). Such matches are
// left alone, and counted.

struct SearchQuery
{
    QString text;
    Qt::CaseSensitivity sensitivity = Qt::CaseSensitive;
};

// One occurrence. `line` counts the lines of the section from 0; `column` and
// `length` count UTF-16 units of the escaped line, as a text cursor does.
struct SearchMatch
{
    int entry = -1;
    int section = -1;
    int line = -1;
    int column = 0;
    int length = 0;

    friend bool operator==(const SearchMatch &a, const SearchMatch &b)
    {
        return a.entry == b.entry && a.section == b.section && a.line == b.line && a.column == b.column
               && a.length == b.length;
    }
};

struct Occurrences
{
    qsizetype found = 0;         // occurrences handed to `found`
    qsizetype insideEscapes = 0; // matches left alone inside escapes, none overlapping
};

// Where each occurrence of `query` lies in `text`, left to right, none
// overlapping: the search goes on after the end of a match, as a replace does.
// Calls `found(column)` (returning bool) for each; stops early when it returns
// false. An empty query text matches nothing.
template <typename Found>
Occurrences forEachOccurrence(QStringView text, const SearchQuery &query, Found &&found)
{
    Occurrences count;
    const qsizetype length = query.text.size();
    if (length == 0)
        return count;
    const bool spareEscapes = !query.text.contains(QLatin1Char('\\'));
    EscapeSpans starts(text);
    EscapeSpans ends(text);
    qsizetype from = 0;
    qsizetype leftAloneEnd = 0; // where the last match left alone ends
    while (from + length <= text.size()) {
        const qsizetype at = text.indexOf(query.text, from, query.sensitivity);
        if (at < 0)
            break;
        if (spareEscapes && (starts.inside(at) || ends.inside(at + length))) {
            if (at >= leftAloneEnd) {
                ++count.insideEscapes;
                leftAloneEnd = at + length;
            }
            from = at + 1; // a match may still start inside this one, outside the escape
            continue;
        }
        ++count.found;
        if (!found(at))
            break;
        from = at + length;
    }
    return count;
}

struct SearchSummary
{
    qint64 matches = 0;         // every occurrence, also those past `visitAtMost`
    qint64 insideEscapes = 0;   // matches left alone inside escapes
    int sectionsMatched = 0;    // sections holding at least one
    int sectionsUnreadable = 0; // an entry whose head cannot be read counts once

    // Sections that could not be decoded were reported and not searched.
    Outcome outcome() const { return sectionsUnreadable > 0 ? Outcome::DoneWithSkips : Outcome::Done; }
};

// Called with an occurrence and the escaped line it lies in (shared, not
// copied); returns false to stop the search.
using MatchVisitor = std::function<bool(const SearchMatch &match, const QString &lineText)>;

// Every occurrence of `query` in the archive, in archive order (entry, section,
// line, column). The first `visitAtMost` are handed to `visit`; all are counted
// (up to where the visitor stopped). An empty entry has no sections and is
// passed over without a word. A message file that cannot be decoded is reported
// through `observer` and skipped: "Cannot decode entry E: ..." when its head
// cannot be read, else "Cannot decode section S of entry E: ..." per section;
// the lines come in archive order too. Sections are decoded on several threads;
// `observer` and `visit` are called on the calling thread only.
SearchSummary searchArchive(const Narc &narc, const SearchQuery &query, BulkObserver &observer,
                            const MatchVisitor &visit, qint64 visitAtMost = std::numeric_limits<qint64>::max());
// The same over entries read in order, one block of entries at a time (copied
// out of the source's buffer unless `held`: the source hands out entries that
// stay valid, as an archive in memory does), so memory stays bounded by a few
// blocks per thread. Case-sensitive text is looked for in the sections' UTF-8
// bytes, the same matches found. When an entry cannot be read the search
// stops; `entries`' failure() says why.
SearchSummary searchArchive(EntrySource &entries, const SearchQuery &query, BulkObserver &observer,
                            const MatchVisitor &visit, qint64 visitAtMost, bool held = false);

// How many occurrences there are and in how many sections: what a replace shows
// before anything changes.
SearchSummary countMatches(const Narc &narc, const SearchQuery &query, BulkObserver &observer);

// The first `limit` occurrences in archive order (a common letter can occur
// millions of times in a large archive); `summary.matches` counts them all.
struct FoundMatches
{
    QList<SearchMatch> matches;
    QList<QString> lineTexts; // lineTexts[i] is the escaped line matches[i] lies in
    SearchSummary summary;
};
FoundMatches findInArchive(const Narc &narc, const SearchQuery &query, BulkObserver &observer,
                           qsizetype limit = 100000);

} // namespace core
