#pragma once

#include "report/observer.h"
#include "narc/narc.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>
#include <limits>

namespace core {

// Search over the escaped text of every section of every entry, exactly as the
// editor shows it: an escape "\x000a" is six characters that a search can match
// in part or across. Ignoring case folds characters as Qt's case-insensitive
// comparison does, one for one, so a match is always as long as the text
// searched for.

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

// Where each occurrence of `query` lies in `line`, left to right, none
// overlapping: the search goes on after the end of a match, as a replace does.
// Calls `found(column)` (returning bool) for each; stops early when it returns
// false. An empty query text matches nothing. Returns the number of occurrences
// found.
template <typename Found>
qsizetype forEachOccurrence(QStringView line, const SearchQuery &query, Found &&found)
{
    const qsizetype length = query.text.size();
    if (length == 0)
        return 0;
    qsizetype count = 0;
    qsizetype from = 0;
    while (from + length <= line.size()) {
        const qsizetype at = line.indexOf(query.text, from, query.sensitivity);
        if (at < 0)
            break;
        ++count;
        if (!found(at))
            break;
        from = at + length;
    }
    return count;
}

struct SearchSummary
{
    qint64 matches = 0;         // every occurrence, also those past `visitAtMost`
    int sectionsMatched = 0;    // sections holding at least one
    int sectionsUnreadable = 0; // an entry whose head cannot be read counts once
    bool stopped = false;       // the visitor asked to stop; the counts cover what was searched
};

// Called with an occurrence and the escaped line it lies in (shared, not
// copied); returns false to stop the search.
using MatchVisitor = std::function<bool(const SearchMatch &match, const QString &lineText)>;

// Every occurrence of `query` in the archive, in archive order (entry, section,
// line, column). The first `visitAtMost` are handed to `visit`; all are counted.
// An empty entry has no sections and is passed over without a word. A message
// file that cannot be decoded is reported through `observer` and
// skipped: "Cannot decode entry E: ..." when its head cannot be read, else
// "Cannot decode section S of entry E: ..." per section; the lines come in
// archive order too. Sections are decoded on several threads; `observer` and
// `visit` are called on the calling thread only.
SearchSummary searchArchive(const Narc &narc, const SearchQuery &query, BulkObserver &observer,
                            const MatchVisitor &visit,
                            qint64 visitAtMost = std::numeric_limits<qint64>::max());

// How many occurrences there are and in how many sections: what a replace shows
// before anything changes.
SearchSummary countMatches(const Narc &narc, const SearchQuery &query, BulkObserver &observer);

// The first `limit` occurrences in archive order (a common letter can occur
// millions of times in a large archive); `total` counts them all.
struct FoundMatches
{
    QList<SearchMatch> matches;
    QList<QString> lineTexts; // lineTexts[i] is the escaped line matches[i] lies in
    qint64 total = 0;
    int sectionsUnreadable = 0;
    bool truncated() const { return total > matches.size(); }
};
FoundMatches findInArchive(const Narc &narc, const SearchQuery &query, BulkObserver &observer,
                           qsizetype limit = 100000);

} // namespace core
