#pragma once

#include <QString>
#include <QStringList>

// What narcedit's command line asks for.
struct EditorCommandLine
{
    bool done = false; // already answered (--help, --version, a bad argument): exit with exitCode
    int exitCode = 0;
    QString archive; // the archive to open at start; empty for none
};

// Reads narcedit's arguments (the program's name first). --help and --version are
// answered on standard output, a bad argument on standard error. With `early`, only
// --help and --version are looked at: the toolkit's own options are still in the
// list then, and no window system is needed to answer.
EditorCommandLine readCommandLine(const QStringList &arguments, bool early = false);
