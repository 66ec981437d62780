#include "app/commandline.h"
#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("narcedit"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NARCEDIT_VERSION));

    // --help and --version are answered before the window system is reached.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const EditorCommandLine early = readCommandLine(arguments, true);
    if (early.done)
        return early.exitCode;

    QApplication application(argc, argv);
    const EditorCommandLine line = readCommandLine(QCoreApplication::arguments());
    if (line.done)
        return line.exitCode;

    MainWindow window;
    window.show();
    if (!line.archive.isEmpty())
        window.openArchive(line.archive);
    return application.exec();
}
