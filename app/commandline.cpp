#include "commandline.h"

#include "io/regularfile.h"
#include "report/lines.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cerrno>
#include <cstdio>

namespace {

// False when the stream did not take every byte (standard output on a full
// disk, a closed pipe).
bool print(std::FILE *stream, const QString &text)
{
    errno = 0;
    const QByteArray bytes = text.toLocal8Bit();
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

// --help and --version: a standard output that fails is said, and the exit
// status says so too.
void answer(EditorCommandLine &line, const QString &text)
{
    line.done = true;
    if (print(stdout, text))
        return;
    print(stderr, core::stdoutFailedLine(core::systemError(errno != 0 ? errno : EIO)) + QLatin1Char('\n'));
    line.exitCode = 2;
}

} // namespace

EditorCommandLine readCommandLine(const QStringList &arguments, bool early)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Edits the message files inside a NARC archive of a Nintendo DS game."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("ARCHIVE"),
        QStringLiteral("The .narc archive to open at start; GAME.nds:PATH opens one inside a ROM image, "
                       "GAME.nds alone offers its archives."),
        QStringLiteral("[ARCHIVE]"));

    EditorCommandLine line;
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // Before the application object exists the parser cannot name the program.
        answer(line,
               parser.helpText().replace(QStringLiteral("<executable_name>"), QCoreApplication::applicationName()));
    } else if (parser.isSet(version)) {
        answer(line, QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion()
                         + QLatin1Char('\n'));
    } else if (early) {
        return line;
    } else if (!parsed || parser.positionalArguments().size() > 1) {
        const QString reason = parsed ? QStringLiteral("only one archive can be opened") : parser.errorText();
        print(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + reason + QStringLiteral("\nTry '")
                          + QCoreApplication::applicationName() + QStringLiteral(" --help'.\n"));
        line.done = true;
        line.exitCode = 2;
    } else if (!parser.positionalArguments().isEmpty()) {
        line.archive = parser.positionalArguments().first();
    }
    return line;
}
