#pragma once

#include "base/result.h"
#include "narc/narc.h"
#include "report/observer.h"
#include "search/search.h"

#include <QString>

namespace core {

// Whether `replacement` can replace occurrences of `query`: not when the text to
// find is empty, or the replacement holds a line break, which would move every
// line after it.
Status replaceProblem(const SearchQuery &query, const QString &replacement);

struct ReplaceSummary
{
    bool refused = false;       // replaceProblem() said no: nothing was searched or changed
    qint64 occurrences = 0;     // occurrences replaced, in the sections that took the new text
    qint64 insideEscapes = 0;   // matches left alone inside escapes (see search.h)
    int sectionsReplaced = 0;   // sections that took the new text
    int sectionsRefused = 0;    // sections the composer refused; they are left as they were
    int sectionsUnreadable = 0; // sections (or whole entries) that could not be decoded
    bool changed = false;       // some entry's bytes changed

    Outcome outcome() const
    {
        if (refused)
            return Outcome::Refused;
        return sectionsRefused > 0 || sectionsUnreadable > 0 ? Outcome::DoneWithSkips : Outcome::Done;
    }
};

// Replaces every occurrence of `query` (found as searchArchive() finds them, so
// none inside an escape unless the text to find holds a backslash) with
// `replacement` in the archive in memory. Each section that holds one gets its
// escaped text with the occurrences replaced, composed back through
// composeEntry() exactly as "Save Text" composes the editor's text, with the same
// refusals: a refused section is left as it was and its report line goes to
// `observer`. Then the summary "Replaced N occurrences in M sections", with the
// matches left alone inside escapes. When replaceProblem() objects, its reason
// is reported as "Nothing replaced: <reason>" and nothing else happens.
ReplaceSummary replaceInArchive(Narc &narc, const SearchQuery &query, const QString &replacement,
                                BulkObserver &observer);

} // namespace core
