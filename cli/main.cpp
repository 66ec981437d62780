// narctext: the editor's operations on message archives, from the command line.

#include "cli/commandline.h"
#include "cli/console.h"
#include "cli/runner.h"
#include "report/lines.h"

#include <QCoreApplication>

#include <new>

using namespace core;

namespace {

int run(ConsoleObserver &console)
{
    const CommandLine line = readCommandLine(QCoreApplication::arguments());
    switch (line.action) {
    case CommandLine::Action::Answer: {
        // --help and --version: a standard output that fails is said, not ignored.
        QString error;
        if (writeStdout(line.text.toUtf8(), &error))
            return ExitOk;
        console.report(stdoutFailedLine(error));
        return ExitUsage;
    }
    case CommandLine::Action::Refuse:
        console.report(usageLine(line.text));
        return ExitUsage;
    case CommandLine::Action::Run:
        break;
    }
    console.setQuiet(line.quiet);
    return runCommand(*line.command, line.call, console);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("narctext"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NARCTEXT_VERSION));

    ConsoleObserver console;
    try {
        return run(console);
    } catch (const std::bad_alloc &) {
        // An allocation failed (Qt's containers throw std::bad_alloc too). Every
        // write goes through a temporary file that is dropped while unwinding,
        // so no target was replaced; what standard output held is dropped.
        console.finish();
        console.report(usageLine(notEnoughMemoryReason()));
        return ExitUsage;
    }
}
