#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

EditorCommandLine readCommandLine(const QStringList &arguments, bool early)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Edits the message files inside a NARC archive of a Nintendo DS game."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("ARCHIVE"), QStringLiteral("The .narc archive to open at start."),
                                 QStringLiteral("[ARCHIVE]"));

    EditorCommandLine line;
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // Before the application object exists the parser cannot name the program.
        print(stdout, parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                QCoreApplication::applicationName()));
        line.done = true;
    } else if (parser.isSet(version)) {
        print(stdout, QCoreApplication::applicationName() + QLatin1Char(' ')
                          + QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        line.done = true;
    } else if (early) {
        return line;
    } else if (!parsed || parser.positionalArguments().size() > 1) {
        const QString reason = parsed ? QStringLiteral("only one archive can be opened") : parser.errorText();
        print(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + reason
                          + QStringLiteral("\nTry '") + QCoreApplication::applicationName()
                          + QStringLiteral(" --help'.\n"));
        line.done = true;
        line.exitCode = 2;
    } else if (!parser.positionalArguments().isEmpty()) {
        line.archive = parser.positionalArguments().first();
    }
    return line;
}
