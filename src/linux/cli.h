// The command-line updater: the same procedure, judgement and texts as the Windows program, on a
// terminal. `status` tells what hangs on the unit; `update` writes the carried firmware after the
// same checks and confirmations, with a progress bar.
#pragma once

#include <string>
#include <vector>

#include "cli_io.h"

// Runs the command line (its arguments after the program's name); the exit code. Once the update
// has started writing, its outcome decides the exit code whatever becomes of the output; before
// that, or without an update, an output that could not be written ends the program with
// kExitOutputFailed.
int runCli(const std::vector<std::string>& arguments, CliIo& io);

// The language of the texts: German when the locale (the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty) starts with "de", English otherwise.
Language languageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);
