#include "cli/runner.h"

#include "cli/console.h"
#include "diff/difftext.h"
#include "document/archivedocument.h"
#include "narc/narcfile.h"
#include "report/lines.h"

#include <memory>
#include <utility>

using namespace core;

namespace {

// Loads the archive as `command` reads it; false after the report line. A
// command that writes the archive holds its lock from here until it ends, so
// that commands writing one archive run one after the other.
bool load(const Command &command, Context &context, std::unique_ptr<ArchiveEntries> &stream,
          std::unique_ptr<HeldEdits> &held)
{
    if (command.archive == Command::Archive::None)
        return true;
    const QString &path = context.call.archivePath();
    Status read;
    if (command.archive == Command::Archive::Stream) {
        Result<std::unique_ptr<ArchiveEntries>> opened = ArchiveEntries::open(path);
        read = opened.status();
        if (opened) {
            stream = std::move(opened.value);
            context.entries = stream.get();
            context.archiveFile = stream->identity();
        }
    } else if (command.archive == Command::Archive::ReadEach) {
        read = loadArchiveEntries(path, [&](quint32 index, EntryView entry) { command.visit(context, index, entry); });
    } else if (command.archive == Command::Archive::Edit && !context.call.dryRun) {
        Result<ArchiveDocument> opened = ArchiveDocument::open(path, Access::Edit);
        read = opened.status();
        if (opened) {
            context.document = std::move(opened.value);
            context.edits = &context.document.entries();
        }
    } else {
        const bool writes = command.archive == Command::Archive::ReadWrite || command.archive == Command::Archive::Edit;
        Result<ArchiveDocument> opened = ArchiveDocument::open(path, writes ? Access::Write : Access::Read);
        read = opened.status();
        if (opened) {
            context.document = std::move(opened.value);
            context.narc = context.document.narc();
            if (command.archive == Command::Archive::Edit) {
                held = std::make_unique<HeldEdits>(context.narc);
                context.edits = held.get();
            }
        }
    }
    if (read)
        return true;
    context.console.report(loadFailedLine(path, read.reason));
    return false;
}

// Writes the archive as "Write To Narc" does, when a section changed: the target
// is replaced only once the new bytes are complete, and never when another
// program changed it since it was read (see ArchiveDocument::save). False after
// the report line.
bool save(Context &context, bool entryByEntry)
{
    SaveOptions options;
    options.output = context.call.output;
    options.dryRun = context.call.dryRun;
    // An archive edited entry by entry is written from its file again, with
    // the entries replaced; one loaded whole is written from memory.
    const Status saved = entryByEntry ? context.document.save(context.console, options)
                                      : context.document.save(context.narc, context.console, options);
    if (!saved)
        context.console.report(writeFailedLine(context.call.outputPath(), saved.reason));
    return saved.ok();
}

// A dry run: on standard output, what the write would change, exactly as
// narctext diff ARCHIVE OUTPUT prints it once the write was made. False when
// standard output failed (and said so).
bool printChanges(Context &context)
{
    compareArchives(context.document.narc(), context.narc, DiffDetail::Lines, [&](const EntryComparison &entry) {
        if (entry.differs())
            context.out.print(diffText(entry));
    });
    return context.out.flush();
}

} // namespace

int runCommand(const Command &command, const Invocation &call, ConsoleObserver &console)
{
    if (command.check) {
        const QString problem = command.check(call);
        if (!problem.isEmpty()) {
            console.report(usageLine(problem));
            return ExitUsage;
        }
    }
    StandardOutput out(console);
    Narc narc;
    ArchiveDocument document;
    Context context{call, console, out, narc, document, nullptr, {}};
    std::unique_ptr<ArchiveEntries> stream;
    std::unique_ptr<HeldEdits> held;
    if (!load(command, context, stream, held))
        return ExitUsage;
    const Ending ending = command.run(context);
    console.finish();
    // An entry that could not be read stopped the work: the archive could not be loaded.
    const EntrySource *read = stream ? static_cast<EntrySource *>(stream.get()) : context.edits;
    if (read && !read->failure().isEmpty()) {
        console.report(loadFailedLine(call.archivePath(), read->failure()));
        out.flush();
        return ExitUsage;
    }
    if (!out.flush())
        return ExitUsage;

    switch (ending) {
    case Ending::Refused:
        return ExitUsage;
    case Ending::NothingFound:
    case Ending::Findings:
    case Ending::Differences:
        return ExitProblem;
    case Ending::Done:
    case Ending::DoneWithSkips:
        break;
    }
    if (command.archive == Command::Archive::ReadWrite || command.archive == Command::Archive::Edit) {
        // A dry run goes the whole way of a real one and stops before the write.
        if (call.dryRun && !printChanges(context))
            return ExitUsage;
        if (!save(context, context.edits && !held))
            return ExitUsage;
    }
    return ending == Ending::Done ? ExitOk : ExitProblem;
}
