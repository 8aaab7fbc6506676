// The command-line updater: the same procedure, judgement and texts as the Windows program, on a
// terminal. `status` tells what hangs on the unit; `update` writes the carried firmware after the
// same checks and confirmations, with a progress bar.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "device/device_session.h"
#include "engine/catalogue.h"

// Exit codes.
constexpr int kExitOk = 0;            // ready (status), or the update succeeded
constexpr int kExitUpdateFailed = 1;  // the update failed
constexpr int kExitOutputFailed = 1;  // the standard output could not be written (no update)
constexpr int kExitNoUnit = 2;        // no programming unit
constexpr int kExitNotReady = 3;      // wrong mode, no updatable controller, other controller
constexpr int kExitDeclined = 4;      // a confirmation was not given
constexpr int kExitUnavailable = 5;   // a unit that this user may not open, or another holds
constexpr int kExitUsage = 64;        // the command line is not understood

struct CliIo {
    std::istream& in;   // the answers to the confirmations
    std::ostream& out;  // what the program says
    std::ostream& err;  // the confirmations, the progress, and what goes wrong
    // The width of the terminal that err shows on, asked before each draw of the progress bar;
    // empty when err cannot show a bar in place (one line per 10 % then).
    std::function<int()> barColumns;
    // Where the notice of a signal held during the writing is written, from the signal handler:
    // the descriptor under err.
    int noticeFd;
    Language language;
    bool acceptPlaceholder;  // the build's placeholder image may be written (a simulated unit)
    // How the writings of `update --all` run, one for each unit: empty, side by side, a thread
    // each (the program). The tests in virtual time run them one after the other on the calling
    // thread, since the simulated bench's clock is one for all units.
    std::function<void(const std::vector<std::function<void()>>& writings)> runUpdates;
    // The units' backend and the clock of the run's sessions; runCli sets the log to the run's
    // own while it runs.
    DeviceLink link;
};

// Runs the command line (its arguments after the program's name); the exit code. Once the update
// has started writing, its outcome decides the exit code whatever becomes of the output; before
// that, or without an update, an output that could not be written ends the program with
// kExitOutputFailed.
int runCli(const std::vector<std::string>& arguments, CliIo& io);

// The language of the texts: German when the locale (the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty) starts with "de", English otherwise.
Language languageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);
