#pragma once

#include "cli/command.h"

// The one body of every command: checks the arguments, loads the archive as the
// command declares (whole, or one entry at a time), runs the command, flushes
// standard output, writes the archive when the command writes it and the run
// allows, and maps how it ended to the exit status (see Outcome). Find keeps
// grep's statuses: 0 a line matched, 1 none did, 2 an error.
int runCommand(const Command &command, const Invocation &call, ConsoleObserver &console);
