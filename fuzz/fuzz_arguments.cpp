// Any bytes as narctext's arguments (split at NUL bytes, decoded as the
// program decodes its arguments), read by its own parser (cli/commandline), then
// checked by the command's own check, as narctext does before it reads any file:
// nothing crashes or allocates without bound (libFuzzer's -malloc_limit_mb,
// which tools/fuzz.sh keeps at its default, the RSS limit); a command line to
// run names a command and exactly the arguments it takes, entry and section
// numbers included; a refusal and an answer always have words; and the same
// arguments are always read the same way. No command is run: the arguments
// name files.

#include "cli/commandline.h"
#include "fuzzing.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#define require(condition) FUZZ_CHECK("fuzz_arguments", condition)

namespace {

bool sameLine(const CommandLine &a, const CommandLine &b)
{
    return a.action == b.action && a.text == b.text && a.command == b.command && a.quiet == b.quiet
           && a.call.arguments == b.call.arguments && a.call.output == b.call.output && a.call.entry == b.call.entry
           && a.call.section == b.call.section && a.call.width == b.call.width && a.call.breaks == b.call.breaks
           && a.call.reference == b.call.reference && a.call.ignoreCase == b.call.ignoreCase
           && a.call.force == b.call.force && a.call.stat == b.call.stat && a.call.dryRun == b.call.dryRun
           && a.call.strict == b.call.strict;
}

bool isNumberArgument(const Argument &argument)
{
    return argument.kind == Argument::Entry || argument.kind == Argument::Section;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // As in narctext's main(): the parser's help names the application.
    static QCoreApplication application(*argc, *argv);
    QCoreApplication::setApplicationName(QStringLiteral("narctext"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList arguments{QStringLiteral("narctext")};
    const char *text = reinterpret_cast<const char *>(data);
    for (size_t start = 0, end = 0; end <= size; ++end) {
        if (end == size || data[end] == 0) {
            if (end < size || end > start)
                arguments.append(QFile::decodeName(QByteArray(text + start, qsizetype(end - start))));
            start = end + 1;
        }
    }

    const CommandLine line = readCommandLine(arguments);
    require(sameLine(readCommandLine(arguments), line));
    switch (line.action) {
    case CommandLine::Action::Answer:
    case CommandLine::Action::Refuse:
        require(!line.text.isEmpty() && line.command == nullptr);
        return 0;
    case CommandLine::Action::Run:
        break;
    }
    require(line.command != nullptr && line.text.isEmpty());
    const Command &command = *line.command;
    const Invocation &call = line.call;
    require(call.arguments.size() == command.arguments.size());
    for (qsizetype i = 0; i < command.arguments.size(); ++i) {
        const Argument &argument = command.arguments.at(i);
        require(argument.kind == Argument::Replacement || !call.arguments.at(i).isEmpty());
        if (isNumberArgument(argument)) {
            const int value = argument.kind == Argument::Entry ? call.entry : call.section;
            require(value >= 0 && value == call.arguments.at(i).toInt());
        }
    }
    require(call.width >= 0);
    if (command.check)
        (void)command.check(call);
    return 0;
}
