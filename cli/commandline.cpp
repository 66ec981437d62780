#include "cli/commandline.h"

#include "check/width.h"
#include "report/lines.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

const QString program = QStringLiteral("narctext");

const char description[] =
    "Reads, exports, imports, searches and replaces the message texts of a NARC archive,\n"
    "as the editor narcedit does, with the same results byte for byte.";

const char closing[] =
    "Section 0 is the hiragana section, 1 the kanji section. import, set, import-po and\n"
    "replace write the archive to OUTPUT, or back to ARCHIVE without -o; the file is\n"
    "replaced only once the new one is complete. find and replace search the text as\n"
    "the editor shows it (escapes as \\xhhhh); a match inside an escape is left alone\n"
    "unless TEXT holds a backslash. '-' as a file to read is standard input, as a file\n"
    "to write standard output. narctext COMMAND --help describes a command.\n"
    "\n"
    "An archive inside a DS ROM image is named IMAGE:PATH (IMAGE:data/msg.narc) or\n"
    "IMAGE:#ID wherever an archive is named (rom-list lists them); a write puts it back\n"
    "into the image, which is replaced only once the new one is complete. -o with a\n"
    "plain file name writes the archive alone.\n"
    "\n"
    "Exit status: 0 success; 1 a section or message was skipped, or a file could not be\n"
    "read or written; 2 bad arguments, an input refused whole, or the archive could not\n"
    "be loaded or written (it is then left as it was). find exits 0 when a line matched,\n"
    "1 when none did. replace exits 1 when nothing matched (nothing is written). check\n"
    "and check-po exit 1 when they found something. diff exits 0 when the texts are\n"
    "equal, 1 when they differ. With -n (--dry-run), import, set, import-po and replace\n"
    "write nothing, print what they would change as diff prints it, and exit as they\n"
    "would have.\n";

struct Options
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help; after a command, the command's.")};
    QCommandLineOption version{{QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("Show the version.")};
    QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")},
                             QStringLiteral("Print no progress and no report lines except errors.")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("Write the archive to OUTPUT instead of back to ARCHIVE."),
                              QStringLiteral("OUTPUT")};
    QCommandLineOption ignoreCase{{QStringLiteral("i"), QStringLiteral("ignore-case")},
                                  QStringLiteral("Ignore case when comparing.")};
    QCommandLineOption force{QStringLiteral("force"),
                             QStringLiteral("Replace tree files that differ from the archive.")};
    QCommandLineOption width{QStringLiteral("width"),
                             QStringLiteral("Report rows wider than N characters (full-width characters count 2)."),
                             QStringLiteral("N")};
    QCommandLineOption lineBreak{QStringLiteral("break"),
                                 QStringLiteral("An escape that ends a row, such as \\x000a; may be given again. "
                                                "Translations may move it freely."),
                                 QStringLiteral("ESCAPE")};
    QCommandLineOption reference{QStringLiteral("reference"),
                                 QStringLiteral("The original archive: report lines whose control escapes differ "
                                                "from it, and entries and sections whose counts differ."),
                                 QStringLiteral("ORIGINAL.narc")};
    QCommandLineOption strict{QStringLiteral("strict"),
                              QStringLiteral("Skip translations whose control escapes differ from their "
                                             "source's instead of applying them with a warning.")};
    QCommandLineOption stat{QStringLiteral("stat"),
                            QStringLiteral("Print one line per entry that differs and the total instead of "
                                           "the lines.")};
    QCommandLineOption dryRun{{QStringLiteral("n"), QStringLiteral("dry-run")},
                              QStringLiteral("Write nothing: print the differences the command would make, as "
                                             "narctext diff prints them, and its usual report lines.")};

    // Adds the global options and those `command` takes (all when null).
    void addTo(QCommandLineParser &parser, const Command *command) const
    {
        parser.addOptions({help, quiet, version});
        if (!command || command->takes(OutputOption))
            parser.addOption(output);
        if (!command || command->takes(IgnoreCaseOption))
            parser.addOption(ignoreCase);
        if (!command || command->takes(ForceOption))
            parser.addOption(force);
        if (!command || command->takes(WidthOption))
            parser.addOption(width);
        if (!command || command->takes(BreakOption))
            parser.addOption(lineBreak);
        if (!command || command->takes(ReferenceOption))
            parser.addOption(reference);
        if (!command || command->takes(StrictOption))
            parser.addOption(strict);
        if (!command || command->takes(StatOption))
            parser.addOption(stat);
        if (!command || command->takes(DryRunOption))
            parser.addOption(dryRun);
    }
};

QString versionText()
{
    return program + QStringLiteral(" " NARCTEXT_VERSION "\n");
}

// The parser's help without its first line, which names the program by its path.
QString helpBody(const QCommandLineParser &parser)
{
    return parser.helpText().section(QLatin1Char('\n'), 1);
}

QString mainHelp(const QCommandLineParser &parser)
{
    QString text = QStringLiteral("Usage: narctext [options] COMMAND ARGUMENTS...\n") + helpBody(parser)
                   + QStringLiteral("\nCommands:\n");
    for (const Command &command : commands())
        text += QStringLiteral("  narctext ") + command.synopsis() + QStringLiteral("\n      ")
                + QLatin1String(command.summary) + QLatin1Char('\n');
    return text + QLatin1Char('\n') + QLatin1String(closing);
}

QString commandHelp(const Command &command, const QCommandLineParser &parser)
{
    // The first positional argument is the command's own name: not listed.
    QString body = helpBody(parser);
    body.remove(QRegularExpression(QStringLiteral("\n  %1 *(?=\n)").arg(QLatin1String(command.name))));
    return QStringLiteral("Usage: narctext ") + command.synopsis() + QLatin1Char('\n') + body;
}

const Command *commandNamed(const QString &name)
{
    for (const Command &command : commands()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

// A decimal number of at most nine digits, nothing else.
bool parseNumber(const QString &text, int *value)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = text.toInt();
    return true;
}

// `text` broken into lines of at most 80 characters at spaces.
QString wrapped(const QString &text)
{
    QString lines;
    qsizetype lineStart = 0;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (lines.size() > lineStart && lines.size() - lineStart + 1 + word.size() > 80) {
            lines += QLatin1Char('\n');
            lineStart = lines.size();
        } else if (lines.size() > lineStart) {
            lines += QLatin1Char(' ');
        }
        lines += word;
    }
    return lines;
}

// Qt's own text for a parse error, without its full stop: the line goes on.
QString parseError(const QCommandLineParser &parser)
{
    QString text = parser.errorText();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

CommandLine refusal(const QString &problem)
{
    CommandLine line;
    line.text = problem;
    return line;
}

CommandLine answer(const QString &text)
{
    CommandLine line;
    line.action = CommandLine::Action::Answer;
    line.text = text;
    return line;
}

// The positional arguments of `command` into `call`; a problem, or an empty string.
QString readArguments(const Command &command, const QStringList &given, Invocation &call)
{
    const qsizetype expected = command.arguments.size();
    if (given.size() != expected) {
        return QStringLiteral("%1 %2 arguments; usage: narctext %3")
            .arg(QLatin1String(command.name),
                 given.size() < expected ? QStringLiteral("is missing") : QStringLiteral("has too many"),
                 command.synopsis());
    }
    for (qsizetype i = 0; i < expected; ++i) {
        const QString &value = given.at(i);
        switch (command.arguments.at(i).kind) {
        case Argument::Replacement:
            break; // may be empty: the text found is removed
        case Argument::Entry:
            if (!parseNumber(value, &call.entry))
                return core::notAnIndexReason(value);
            break;
        case Argument::Section:
            if (!parseNumber(value, &call.section))
                return core::notASectionReason(value);
            break;
        case Argument::Path:
        case Argument::Text:
            if (value.isEmpty())
                return QStringLiteral("%1: an argument is empty").arg(QLatin1String(command.name));
            break;
        }
    }
    call.arguments = given;
    return {};
}

// The options of the translators' checks into `call`; a problem, or an empty string.
QString readCheckOptions(const Command &command, const QCommandLineParser &parser, const Options &options,
                         Invocation &call)
{
    if (command.takes(WidthOption) && parser.isSet(options.width)) {
        const QStringList values = parser.values(options.width);
        if (values.size() > 1)
            return QStringLiteral("--width given twice");
        if (!parseNumber(values.first(), &call.width) || call.width < 1)
            return QStringLiteral("--width needs a number of characters from 1, not \"%1\"").arg(values.first());
    }
    if (command.takes(BreakOption)) {
        for (const QString &value : parser.values(options.lineBreak)) {
            const core::Result<QList<quint16>> escapes = core::parseEscapeList(value);
            if (!escapes)
                return core::withReason(QStringLiteral("--break"), escapes.reason);
            if (escapes.value.isEmpty())
                return QStringLiteral("--break needs an escape such as \\x000a");
            for (const quint16 unit : escapes.value) {
                if (!call.breaks.contains(unit))
                    call.breaks.append(unit);
            }
        }
    }
    if (command.takes(ReferenceOption) && parser.isSet(options.reference)) {
        const QStringList values = parser.values(options.reference);
        if (values.size() > 1)
            return QStringLiteral("--reference given twice");
        if (values.first().isEmpty())
            return QStringLiteral("--reference needs a file name");
        call.reference = values.first();
    }
    call.strict = command.takes(StrictOption) && parser.isSet(options.strict);
    return {};
}

} // namespace

CommandLine readCommandLine(const QStringList &arguments)
{
    const Options options;
    const QString seeHelp = QStringLiteral(" (see narctext --help)");

    // First every option any command takes, to find the command.
    QCommandLineParser first;
    first.setApplicationDescription(QLatin1String(description));
    options.addTo(first, nullptr);
    first.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("What to do: one of the commands below."));
    const bool parsed = first.parse(arguments);
    const QStringList positional = first.positionalArguments();
    if (positional.isEmpty()) {
        if (!parsed)
            return refusal(parseError(first) + seeHelp);
        if (first.isSet(options.help)) {
            // The listed options are the global ones only.
            QCommandLineParser global;
            global.setApplicationDescription(QLatin1String(description));
            global.addOptions({options.help, options.quiet, options.version});
            global.addPositionalArgument(QStringLiteral("COMMAND"),
                                         QStringLiteral("What to do: one of the commands below."));
            return answer(mainHelp(global));
        }
        if (first.isSet(options.version))
            return answer(versionText());
        return refusal(QStringLiteral("no command given") + seeHelp);
    }
    const Command *command = commandNamed(positional.first());
    if (!command)
        return refusal(QStringLiteral("unknown command %1").arg(positional.first()) + seeHelp);

    // Then the command's own.
    QCommandLineParser parser;
    QString about = QLatin1String(command->summary) + QStringLiteral(". ") + QLatin1String(command->description);
    about[0] = about.at(0).toUpper();
    parser.setApplicationDescription(wrapped(about));
    options.addTo(parser, command);
    parser.addPositionalArgument(QLatin1String(command->name), QString());
    for (const Argument &argument : command->arguments)
        parser.addPositionalArgument(QLatin1String(argument.name), QLatin1String(argument.help));
    const QString seeCommandHelp = QStringLiteral(" (see narctext %1 --help)").arg(QLatin1String(command->name));
    if (!parser.parse(arguments))
        return refusal(QLatin1String(command->name) + QStringLiteral(": ") + parseError(parser) + seeCommandHelp);
    if (parser.isSet(options.help))
        return answer(commandHelp(*command, parser));
    if (parser.isSet(options.version))
        return answer(versionText());

    CommandLine line;
    line.command = command;
    line.quiet = parser.isSet(options.quiet);
    Invocation &call = line.call;
    const QString problem = readArguments(*command, parser.positionalArguments().mid(1), call);
    if (!problem.isEmpty())
        return refusal(problem + (problem.contains(QStringLiteral("usage:")) ? QString() : seeCommandHelp));
    if (command->takes(OutputOption) && parser.isSet(options.output)) {
        const QStringList outputs = parser.values(options.output);
        if (outputs.size() > 1)
            return refusal(QStringLiteral("-o given twice") + seeCommandHelp);
        if (outputs.first().isEmpty())
            return refusal(QStringLiteral("-o needs a file name") + seeCommandHelp);
        // "-" is a standard stream everywhere else; an archive goes to a file.
        if (outputs.first() == QLatin1String("-"))
            return refusal(QStringLiteral("-o takes a file name, not standard output (./- names a file called -)")
                           + seeCommandHelp);
        call.output = outputs.first();
    }
    const QString checkProblem = readCheckOptions(*command, parser, options, call);
    if (!checkProblem.isEmpty())
        return refusal(QLatin1String(command->name) + QStringLiteral(": ") + checkProblem + seeCommandHelp);
    call.ignoreCase = command->takes(IgnoreCaseOption) && parser.isSet(options.ignoreCase);
    call.force = command->takes(ForceOption) && parser.isSet(options.force);
    call.stat = command->takes(StatOption) && parser.isSet(options.stat);
    call.dryRun = command->takes(DryRunOption) && parser.isSet(options.dryRun);
    line.action = CommandLine::Action::Run;
    return line;
}
