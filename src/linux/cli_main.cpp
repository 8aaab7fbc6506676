// The command-line program's entry point.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "cli_platform.h"

namespace {

// Ctrl-C ends the program as usual, except while the update writes: then it is noted and said,
// and the update goes on to its end.
void onInterrupt(int signalNumber) {
    if (cliIsWriting()) {
        cliInterrupted();
        return;
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);

    if (!startPlatform()) return kExitUsage;
    CliIo io{std::cin,
             std::cout,
             std::cerr,
             isatty(STDERR_FILENO) != 0,
             languageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                std::getenv("LANG")),
             platformAcceptsPlaceholder()};
    const int code = runCli(std::vector<std::string>(argv + 1, argv + argc), io);
    std::cout.flush();
    finishPlatform();
    return code;
}
