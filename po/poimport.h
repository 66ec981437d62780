#pragma once

#include "report/observer.h"
#include "narc/narc.h"

#include <QString>

namespace core {

// What an import of translations did.
struct PoImportSummary
{
    bool refused = true;     // the file was refused (or memory ran out) and nothing changed
    int applied = 0;         // messages whose translation is in the archive now
    int skipped = 0;         // translated messages left out (each has a report line)
    int untranslated = 0;    // messages with an empty msgstr
    int fuzzy = 0;           // messages marked fuzzy, translated or not
    int sectionsChanged = 0; // sections composed anew
    int sectionsSkipped = 0; // sections the composer refused (their messages count as skipped)

    // Untranslated and fuzzy messages are normal, not skips.
    Outcome outcome() const
    {
        return refused ? Outcome::Refused : skipped > 0 ? Outcome::DoneWithSkips : Outcome::Done;
    }
};

// Puts the translations of the PO file at `path` ("-": standard input) into
// `narc`, in memory. The file is read by gettext's library (see readPoFile); one
// that is missing, unreadable, too large or not valid PO is refused with the
// reason and gettext's own reports, and changes nothing; so does running out of
// memory ("not enough memory"), at any point. Strings are converted from the
// character set the file's header declares.
//
// A message replaces the line its msgctxt names (po/pocontext.h) when it is
// translated (non-empty msgstr), not fuzzy and not obsolete. Each section that
// gets a different text is composed once, as Save Text composes it, with all of
// the composer's refusals; a refused section keeps its text and its messages
// count as skipped. Reported, one line each, in archive order: a context that
// names no line of this archive, a msgid that no longer matches the line's text
// (the source changed since the export; the line is not touched; a line that
// already reads as the translation counts as applied, so importing a file twice
// is harmless), a translation holding a line break or the character U+0000, and
// what the composer refuses. Untranslated messages are
// not looked at beyond counting. The last line sums up.
PoImportSummary importFromPo(Narc &narc, const QString &path, BulkObserver &observer);

} // namespace core
