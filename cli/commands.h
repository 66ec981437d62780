#pragma once

#include <QString>
#include <QStringList>

class ConsoleObserver;

// Exit statuses shared by every command except find, which answers like grep.
enum ExitStatus {
    ExitOk = 0,
    ExitProblem = 1, // a section was skipped, or a file could not be read, encoded or written
    ExitUsage = 2,   // bad arguments, or the archive could not be loaded or written
};

// A command line after option parsing: the command, its positional arguments and
// the options it takes.
struct Invocation
{
    QStringList arguments;
    QString output;          // -o: where import, set and replace write; empty for the archive itself
    bool ignoreCase = false; // find -i, replace -i
};

// A bad argument found after the archive was read (an entry index out of range,
// a section the entry does not have). Commands return it as ExitUsage after
// printing `message`.
int usageError(ConsoleObserver &console, const QString &message);

int runList(const Invocation &call, ConsoleObserver &console);
int runShow(const Invocation &call, ConsoleObserver &console);
int runExportTree(const Invocation &call, ConsoleObserver &console);
int runExportFile(const Invocation &call, ConsoleObserver &console);
int runImport(const Invocation &call, ConsoleObserver &console);
int runSet(const Invocation &call, ConsoleObserver &console);
int runFind(const Invocation &call, ConsoleObserver &console);
int runExportPo(const Invocation &call, ConsoleObserver &console);
int runImportPo(const Invocation &call, ConsoleObserver &console);
int runReplace(const Invocation &call, ConsoleObserver &console);
