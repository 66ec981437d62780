#pragma once

// What a narctext command is: its name, arguments and options as the help shows
// them, what it reads and writes, and its body. The table of commands is in
// commands.cpp, the parsing of a command line in commandline.cpp, and the one
// body that loads, runs, writes and exits in runner.cpp.

#include "document/archivedocument.h"
#include "narc/entrysource.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QString>
#include <QStringList>

class ConsoleObserver;
class StandardOutput;

// How a command ended, mapped to the exit status in one place (runner.cpp): how
// bulk work ends (core::Outcome), and one more for find and replace.
enum class Ending {
    Done,          // 0
    DoneWithSkips, // 1: done, with sections or messages skipped, or a file not read or written
    NothingFound,  // 1: find matched no line, replace found nothing to replace; nothing written
    Findings,      // 1: check or check-po found something
    Differences,   // 1: diff found the archives' texts differ
    Refused,       // 2: a bad argument or an input refused whole; nothing written
};

// The ending of a command whose work ended as `outcome`.
Ending endingOf(core::Outcome outcome);

// Exit statuses: 0 done, 1 done with skips (or nothing found), 2 refused, bad
// arguments, or the archive could not be loaded or written.
enum ExitStatus {
    ExitOk = 0,
    ExitProblem = 1,
    ExitUsage = 2,
};

// A command line after parsing: the positional arguments and the options.
struct Invocation
{
    QStringList arguments;   // positional, in the order of Command::arguments
    QString output;          // -o: where the archive is written; empty for the archive itself
    bool ignoreCase = false; // -i
    bool force = false;      // --force
    bool stat = false;       // --stat
    bool dryRun = false;     // -n, --dry-run: write nothing, print what would change
    int entry = -1;          // the ENTRY argument, when the command has one
    int section = -1;        // the SECTION argument, when the command has one
    int width = 0;           // --width: characters per row of a text box; 0 when not given
    QList<quint16> breaks;   // --break: the escapes that end a row
    QString reference;       // --reference: the original archive; empty when not given
    bool strict = false;     // --strict

    const QString &archivePath() const { return arguments.at(0); }
    // Where a command that writes the archive writes it.
    QString outputPath() const { return output.isEmpty() ? archivePath() : output; }
};

// What the body of a command works with.
struct Context
{
    const Invocation &call;
    ConsoleObserver &console;
    StandardOutput &out;
    core::Narc &narc; // loaded whole, for commands that read the archive whole
    // The archive as read from disk, for commands that read it whole: what no
    // output may be, and what a command that writes it writes back to.
    core::ArchiveDocument &document;
    // For commands that read the archive in order (Archive::Stream): its entries,
    // read from the file one at a time as the command asks for them, and the
    // file as opened (what no output may be).
    core::EntrySource *entries = nullptr;
    core::FileIdentity archiveFile;
    // For commands that edit the archive entry by entry (Archive::Edit): its
    // entries in order, each of which may be replaced; written after run.
    core::EditableEntries *edits = nullptr;
};

// One positional argument: its name in the synopsis and what it is.
struct Argument
{
    enum Kind {
        Path,        // a file or directory name, not empty
        Text,        // a search text, not empty
        Replacement, // may be empty
        Entry,       // a decimal entry index
        Section,     // a decimal section index
    };
    const char *name;
    Kind kind;
    const char *help;
};

// The options a command takes beside -h, -q.
enum CommandOption {
    NoOption = 0,
    OutputOption = 1,     // -o, --output OUTPUT
    IgnoreCaseOption = 2, // -i, --ignore-case
    ForceOption = 4,      // --force
    WidthOption = 8,      // --width N
    BreakOption = 16,     // --break ESCAPE, any number of times
    ReferenceOption = 32, // --reference ORIGINAL.narc
    StrictOption = 64,    // --strict
    StatOption = 128,     // --stat
    DryRunOption = 256,   // -n, --dry-run
};

struct Command
{
    const char *name;
    QList<Argument> arguments;
    int options;             // CommandOption flags
    const char *summary;     // one line for narctext --help
    const char *description; // for narctext COMMAND --help, after the summary

    // What it reads and writes.
    enum class Archive {
        Read,      // loaded whole before run
        ReadEach,  // read one entry at a time: visit, then run
        Stream,    // opened, its tables read: run reads the entries in order, one at a time
        ReadWrite, // loaded whole and locked; after run, written to -o OUTPUT or back in place
                   // when a section changed (see ArchiveDocument::save)
        Edit,      // locked and its tables read: run reads the entries in order and replaces
                   // those it changes; after run, written as for ReadWrite (a dry run
                   // loads the archive whole, to print what would change)
        None,      // nothing loaded before run: the first argument is no archive, or the
                   // command reads its files itself
    };
    Archive archive;

    // Checked before anything is read: a usage error, or an empty string.
    QString (*check)(const Invocation &call);
    // For Archive::ReadEach: called for every entry in order, before run.
    void (*visit)(Context &context, quint32 index, core::EntryView entry);
    Ending (*run)(Context &context);

    bool takes(CommandOption option) const { return (options & option) != 0; }
    // The synopsis after "narctext ": "import ARCHIVE DIR [-o OUTPUT]".
    QString synopsis() const;
};

// Every command, in the order the help lists them.
const QList<Command> &commands();
