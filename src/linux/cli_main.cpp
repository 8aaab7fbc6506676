// The command-line program's entry point: the locale, the streams and the terminal.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "cli_output.h"
#include "cli_platform.h"
#include "cli_texts.h"

namespace {

// When the terminal is resized, its width is asked for again before the next draw.
std::atomic<bool> resized{true};
static_assert(std::atomic<bool>::is_always_lock_free, "used in a signal handler");

void onResize(int) { resized = true; }

int terminalColumns() {
    static int columns = 80;
    if (resized.exchange(false)) {
        winsize size{};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) columns = size.ws_col;
    }
    return columns;
}

// A bar drawn in place needs a terminal that moves its cursor: none for TERM=dumb, nor for a
// terminal that does not say what it is.
bool drawsInPlace() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) != 0 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

std::function<int()> barColumns() {
    if (!drawsInPlace()) return nullptr;
    struct sigaction action {};
    action.sa_handler = onResize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
    return terminalColumns;
}

}  // namespace

int main(int argc, char** argv) {
    // A file size limit (ulimit -f) fails the log's write, which the run then says, as a full
    // disk does; by default its signal would end the run with another exit code.
    signal(SIGXFSZ, SIG_IGN);
    chooseTextsCharset();
    DescriptorOutput outBuffer(STDOUT_FILENO);
    DescriptorOutput errBuffer(STDERR_FILENO);
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    err.tie(&out);  // what the program said comes before the question or the bar below it
    err.setf(std::ios::unitbuf);

    if (!startPlatform()) return kExitUsage;
    CliIo io{
        std::cin,
        out,
        err,
        barColumns(),
        STDERR_FILENO,
        languageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")),
        platformAcceptsPlaceholder(),
        nullptr,
        {platformBackend(), platformClock()}};
    const int code = runCli(std::vector<std::string>(argv + 1, argv + argc), io);
    finishPlatform();
    return code;
}
