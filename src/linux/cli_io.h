// What the command-line program works with: its streams, its terminal, its language, and its exit
// codes.
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
