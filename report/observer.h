#pragma once

#include <QString>

namespace core {

// What bulk work tells whoever runs it: report lines, the status text, progress
// over the entries, and, during an import, which section it is working on. The
// window shows these in its log, label and progress bar; the command-line tool
// prints them.
class BulkObserver
{
public:
    virtual ~BulkObserver() = default;

    // One line for the log, exactly as the user should read it.
    virtual void report(const QString &line) = 0;
    // One line that says what is being done or was done ("Exporting to directory
    // DIR", "Finished ...", a summary), not a problem: reported like any other,
    // except where only problems are wanted (narctext --quiet).
    virtual void note(const QString &line) { report(line); }
    // The status line ("Exporting: ", "Finished Importing!", ...).
    virtual void status(const QString &text) { Q_UNUSED(text); }
    // The work covers entries 0 .. count - 1.
    virtual void begin(int count) { Q_UNUSED(count); }
    // Entry `index` is being processed.
    virtual void progress(int index) { Q_UNUSED(index); }
    // An import is about to work on section `section` of the current entry.
    virtual void sectionChanged(int section) { Q_UNUSED(section); }
};

// How a bulk run ended. Every summary says it the same way, and narctext's exit
// status follows it (0, 1, 2).
enum class Outcome {
    Done,          // everything asked for was done
    DoneWithSkips, // what could be done was done; something was reported and left out
                   // (a section, a message, a file that could not be read or written)
    Refused,       // nothing was done and nothing written: the input was refused before
                   // any change, and the reason reported
};

// What one bulk run did, for callers that need more than the report lines.
struct BulkSummary
{
    bool refused = false;       // the run was refused before it changed anything (a tree without 0000, linked folders)
    bool finished = false;      // the run reached its end ("Finished ...")
    int filesWritten = 0;       // export: files written (an emptied stale file counts)
    int filesFailed = 0;        // files that could not be written, read or decoded
    int filesMissing = 0;       // import: files absent from the tree
    int sectionsChanged = 0;    // import: sections replaced
    int sectionsSkipped = 0;    // import: sections refused by the composer
    int sectionsUnreadable = 0; // export: sections the codec could not decode

    // A missing file is no skip: a tree may leave out what it does not translate.
    Outcome outcome() const
    {
        if (refused)
            return Outcome::Refused;
        const bool skips = !finished || filesFailed > 0 || sectionsSkipped > 0 || sectionsUnreadable > 0;
        return skips ? Outcome::DoneWithSkips : Outcome::Done;
    }
};

} // namespace core
