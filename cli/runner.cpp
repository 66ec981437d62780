#include "cli/runner.h"

#include "cli/console.h"

#include "narc/narcfile.h"
#include "report/lines.h"

#include <utility>

using namespace core;

namespace {

// Loads the archive as `command` reads it; false after the report line.
bool load(const Command &command, Context &context)
{
    if (command.archive == Command::Archive::None)
        return true;
    const QString &path = context.call.archivePath();
    QString error;
    if (command.archive == Command::Archive::ReadEach) {
        error = loadNarcFileEntries(
            path, [&](quint32 index, const NarcEntry &entry) { command.visit(context, index, entry); });
    } else {
        NarcRead read = loadNarcFile(path);
        error = read.error;
        if (read.ok())
            context.narc = std::move(read.narc);
    }
    if (error.isEmpty())
        return true;
    context.console.report(loadFailedLine(path, error));
    return false;
}

// Writes the archive as "Write To Narc" does: the target is replaced only once
// the new bytes are complete. False after the report line.
bool save(Context &context)
{
    const QString path = context.call.outputPath();
    QString error;
    if (saveNarcFile(context.narc, path, &error))
        return true;
    context.console.report(writeFailedLine(path, error));
    return false;
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
    Context context{call, console, out, narc};
    if (!load(command, context))
        return ExitUsage;
    const Ending ending = command.run(context);
    console.finish();
    if (!out.flush())
        return ExitUsage;

    switch (ending) {
    case Ending::Refused:
        return ExitUsage;
    case Ending::NothingFound:
    case Ending::Findings:
        return ExitProblem;
    case Ending::Done:
    case Ending::DoneWithSkips:
        break;
    }
    if (command.archive == Command::Archive::ReadWrite && !save(context))
        return ExitUsage;
    return ending == Ending::Done ? ExitOk : ExitProblem;
}
