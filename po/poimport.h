#pragma once

#include "narc/narc.h"
#include "report/observer.h"

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
    int escapesChanged = 0;  // messages whose control escapes differ from their source's, applied or not

    // Untranslated and fuzzy messages are normal, not skips.
    Outcome outcome() const
    {
        return refused ? Outcome::Refused : skipped > 0 ? Outcome::DoneWithSkips : Outcome::Done;
    }
};

// How translations are taken.
struct PoImportOptions
{
    // Skip a message whose control escapes differ from its source's instead of
    // applying it with a warning.
    bool strict = false;
    // Escapes that break lines (see check/width.h): a translation may move, add
    // or drop them, so they are left out when escapes are compared.
    QList<quint16> breaks;
};

// Puts the translations of the PO file at `path` ("-": standard input) into
// `narc`, in memory. The file is read by gettext's library (see readPoFile); one
// that is missing, unreadable, too large or not valid PO is refused with the
// reason and gettext's own reports, and changes nothing; so does running out of
// memory ("not enough memory"), at any point. Strings are converted from the
// character set the file's header declares.
//
// A message replaces the line its msgctxt names (po/pocontext.h) when it is
// translated (non-empty msgstr), not fuzzy and not obsolete. Each message is
// taken or left on its own; reported, one line each, in archive order: a context
// that names no line of this archive, a msgid that no longer matches the line's
// text (the source changed since the export; the line is not touched; a line that
// already reads as the translation counts as applied, so importing a file twice
// is harmless), a translation holding a line break or the character U+0000, and
// one the composer would refuse as a line (an escape that does not convert, a
// line too long). Every other message of the section is applied: each section
// that gets a different text is composed once, as Save Text composes it.
//
// A translation whose control escapes (check/escapes.h) differ from its msgid's
// is applied with a warning line ("Check CONTEXT (...): escapes differ from the
// source: ..."), or, with options.strict, skipped; either way counted in
// escapesChanged and the last line. Untranslated messages are not looked at
// beyond counting. The last line sums up.
PoImportSummary importFromPo(Narc &narc, const QString &path, BulkObserver &observer,
                             const PoImportOptions &options = {});

} // namespace core
