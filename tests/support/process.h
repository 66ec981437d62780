#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Running a program the way a user's shell would, for the tests that go through
// narctext, narcedit or gettext's tools as processes.

struct Run
{
    int code = -1; // the exit status; -1 when the program crashed or timed out
    QByteArray out, err;
};

struct RunSetup
{
    QString directory;       // working directory; the test's own when empty
    QByteArray input;        // written to standard input, which is then closed
    QString inputFile;       // standard input is this file instead
    QString outputFile;      // standard output is appended to this file instead of captured
    bool terminal = false;   // standard output is a pseudo-terminal (raw mode); `out` is what it received
    quint64 memoryLimit = 0; // the address space limit in bytes (RLIMIT_AS); 0 for none
    QStringList unset;       // environment variables removed
    int timeoutMs = 120000;
};

Run runProgram(const QString &program, const QStringList &arguments, const RunSetup &setup = {});

// The built tools beside each other: environment variable NARCTEXT (and NARCEDIT).
QString narctextPath();
Run narctext(const QStringList &arguments, const RunSetup &setup = {});
