#pragma once

#include "cli/command.h"

#include <QString>
#include <QStringList>

// What narctext's command line asks for.
struct CommandLine
{
    enum class Action {
        Run,    // run `command` with `call`
        Answer, // print `text` on standard output (--help, --version) and exit
        Refuse, // a bad command line: `text` says why; exit 2
    };
    Action action = Action::Refuse;
    QString text;
    const Command *command = nullptr;
    Invocation call;
    bool quiet = false; // -q, --quiet
};

// Reads narctext's arguments (the program's name first) with QCommandLineParser:
// global options (-h/--help, -V/--version, -q/--quiet), the command, then its
// arguments and options in any order; "--" ends the options, so a TEXT may start
// with '-', and "-" alone is an argument (standard input or output).
// "narctext --help" lists the commands; "narctext COMMAND --help" describes one.
CommandLine readCommandLine(const QStringList &arguments);
