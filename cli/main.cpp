// narctext: the editor's operations on message archives, from the command line.

#include "cli/commands.h"
#include "cli/console.h"

#include <QCoreApplication>

using namespace core;

namespace {

const char usageText[] =
    "Usage:\n"
    "  narctext list ARCHIVE\n"
    "  narctext show ARCHIVE ENTRY SECTION\n"
    "  narctext export ARCHIVE DIR\n"
    "  narctext export-file ARCHIVE FILE\n"
    "  narctext import ARCHIVE DIR [-o OUTPUT]\n"
    "  narctext set ARCHIVE ENTRY SECTION TEXTFILE [-o OUTPUT]\n"
    "  narctext find [-i] ARCHIVE TEXT\n"
    "  narctext export-po ARCHIVE FILE.pot\n"
    "  narctext import-po ARCHIVE FILE.po [-o OUTPUT]\n"
    "  narctext replace [-i] ARCHIVE TEXT REPLACEMENT [-o OUTPUT]\n"
    "  narctext --help | --version\n"
    "\n"
    "Commands:\n"
    "  list         one line per entry: index, size in bytes, section count, line count\n"
    "  show         print one section's lines as the editor shows them (escapes as \\xhhhh)\n"
    "  export       write every section into DIR/0000 and DIR/0001, one UTF-8 file per entry\n"
    "  export-file  write every entry into one UTF-8 file\n"
    "  import       read a tree made by export back in and write the archive\n"
    "  set          replace one section with the lines of TEXTFILE ('-': standard input)\n"
    "  find         print entry, section, line number (from 1) and line of every line\n"
    "               containing TEXT (-i: ignoring case)\n"
    "  export-po    write every line that is not empty into a gettext PO template\n"
    "               ('-': standard output)\n"
    "  import-po    put the translated, not fuzzy messages of a PO file ('-': standard\n"
    "               input) back and write the archive as import does (a file that is\n"
    "               not valid PO changes nothing; a translation left out counts as a\n"
    "               skipped section)\n"
    "  replace      replace TEXT with REPLACEMENT in every section, as if edited and saved\n"
    "               with Save Text (-i: ignoring case); REPLACEMENT may be empty\n"
    "\n"
    "Section 0 is the hiragana section, 1 the kanji section. import, set and replace\n"
    "write the archive to OUTPUT, or back to ARCHIVE without -o; the file is replaced\n"
    "only once the new one is complete. find and replace search the text as the\n"
    "editor shows it (escapes as \\xhhhh); a match inside an escape is left alone\n"
    "unless TEXT holds a backslash.\n"
    "\n"
    "Exit status: 0 success; 1 a section was skipped or a file could not be read or\n"
    "written; 2 bad arguments, the archive could not be loaded or written, or the tree\n"
    "or PO file to import was refused.\n"
    "find exits 0 when a line matched, 1 when none did. replace exits 0 when it\n"
    "replaced something, 1 when nothing matched (the archive is then not written) or a\n"
    "section was refused or could not be decoded.\n";

struct Command
{
    const char *name;
    int argumentCount;
    const char *synopsis; // after "narctext "
    bool takesOutput;
    bool takesIgnoreCase;
    int (*run)(const Invocation &, ConsoleObserver &);
};

const Command commands[] = {
    {"list", 1, "list ARCHIVE", false, false, runList},
    {"show", 3, "show ARCHIVE ENTRY SECTION", false, false, runShow},
    {"export", 2, "export ARCHIVE DIR", false, false, runExportTree},
    {"export-file", 2, "export-file ARCHIVE FILE", false, false, runExportFile},
    {"import", 2, "import ARCHIVE DIR [-o OUTPUT]", true, false, runImport},
    {"set", 4, "set ARCHIVE ENTRY SECTION TEXTFILE [-o OUTPUT]", true, false, runSet},
    {"find", 2, "find [-i] ARCHIVE TEXT", false, true, runFind},
    {"export-po", 2, "export-po ARCHIVE FILE.pot", false, false, runExportPo},
    {"import-po", 2, "import-po ARCHIVE FILE.po [-o OUTPUT]", true, false, runImportPo},
    {"replace", 3, "replace [-i] ARCHIVE TEXT REPLACEMENT [-o OUTPUT]", true, true, runReplace},
};

const Command *commandNamed(const QString &name)
{
    for (const Command &command : commands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

// An argument that is an option: starts with '-' but is not "-" alone (standard
// input) and not a negative number (left for the range check to refuse).
bool isOption(const QString &argument)
{
    return argument.size() > 1 && argument.startsWith(QLatin1Char('-')) && !argument.at(1).isDigit();
}

QString seeHelp()
{
    return QStringLiteral(" (see narctext --help)");
}

// Parses the arguments after the command name into `call`; on a bad argument
// returns the message for it.
QString parseArguments(const Command &command, const QStringList &arguments, Invocation &call)
{
    bool optionsEnded = false;
    bool outputGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnded || !isOption(argument)) {
            call.arguments.append(argument);
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (command.takesOutput && argument == QStringLiteral("-o")) {
            if (outputGiven)
                return QStringLiteral("-o given twice");
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty())
                return QStringLiteral("-o needs a file name");
            call.output = arguments.at(++i);
            outputGiven = true;
        } else if (command.takesIgnoreCase && argument == QStringLiteral("-i")) {
            call.ignoreCase = true;
        } else {
            return QStringLiteral("%1: unknown option %2").arg(QLatin1String(command.name), argument);
        }
    }
    if (call.arguments.size() != command.argumentCount) {
        return QStringLiteral("%1 %2 arguments; usage: narctext %3")
            .arg(QLatin1String(command.name),
                 call.arguments.size() < command.argumentCount ? QStringLiteral("is missing")
                                                               : QStringLiteral("has too many"),
                 QLatin1String(command.synopsis));
    }
    for (qsizetype i = 0; i < call.arguments.size(); ++i) {
        // replace's REPLACEMENT may be empty: the text found is removed.
        const bool mayBeEmpty = QLatin1String(command.name) == QLatin1String("replace") && i == 2;
        if (call.arguments.at(i).isEmpty() && !mayBeEmpty)
            return QStringLiteral("%1: an argument is empty").arg(QLatin1String(command.name));
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("narctext"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NARCTEXT_VERSION));

    ConsoleObserver console;
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    if (arguments.isEmpty())
        return usageError(console, QStringLiteral("no command given") + seeHelp());
    const QString name = arguments.takeFirst();
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h")) {
        if (!arguments.isEmpty())
            return usageError(console, QStringLiteral("--help takes no arguments"));
        return writeStdout(QByteArray(usageText)) ? ExitOk : ExitProblem;
    }
    if (name == QStringLiteral("--version")) {
        if (!arguments.isEmpty())
            return usageError(console, QStringLiteral("--version takes no arguments"));
        return writeStdout(QByteArrayLiteral("narctext " NARCTEXT_VERSION "\n")) ? ExitOk : ExitProblem;
    }

    const Command *command = commandNamed(name);
    if (!command)
        return usageError(console, QStringLiteral("unknown command %1").arg(name) + seeHelp());

    Invocation call;
    const QString problem = parseArguments(*command, arguments, call);
    if (!problem.isEmpty())
        return usageError(console, problem + (problem.contains(QStringLiteral("usage:")) ? QString() : seeHelp()));
    return command->run(call, console);
}
