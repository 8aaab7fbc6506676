// The update's progress on a terminal: a bar redrawn in place with the percentage and the time
// left, or, when the output is no terminal (a log, a pipe), one line per 10 %.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>

class TerminalProgress {
public:
    TerminalProgress(std::ostream& out, bool isTerminal) : out_(out), isTerminal_(isTerminal) {}

    // The blocks are about to be sent.
    void start();
    // percent of the image has been sent.
    void show(std::uint32_t percent);
    // The blocks are over: ends the bar's line.
    void finish();

private:
    std::ostream& out_;
    bool isTerminal_;
    std::chrono::steady_clock::time_point started_{};
    std::uint32_t lastShown_ = 0;  // the last tenth written, or the last percentage drawn
    bool drawn_ = false;
};
