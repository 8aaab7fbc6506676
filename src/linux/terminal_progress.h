// The update's progress: on a terminal a bar redrawn in place with the percentage and the time
// left, as wide as the terminal allows; elsewhere (a log, a pipe, a terminal without cursor
// control) one line per 10 %. A stream that failed is drawn on no more.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

// "nnn % [####....] m:ss" in fewer than columns characters, the time left reckoned at the pace
// of spent since the blocks began: the bar as wide as there is room for, up to its widest; left
// out where that is too narrow; cut where even the rest is too wide.
std::string progressLine(std::uint32_t percent, std::chrono::steady_clock::duration spent,
                         int columns);

class TerminalProgress {
public:
    // columns: the terminal's width now; empty when the bar cannot be drawn in place.
    TerminalProgress(std::ostream& out, std::function<int()> columns)
        : out_(out), columns_(std::move(columns)) {}

    // The blocks are about to be sent.
    void start();
    // percent of the image has been sent.
    void show(std::uint32_t percent);
    // The blocks are over: ends the bar's line.
    void finish();

private:
    void showTenths(std::uint32_t percent);
    void draw(std::uint32_t percent);

    std::ostream& out_;
    std::function<int()> columns_;
    std::chrono::steady_clock::time_point started_{};
    std::uint32_t lastShown_ = 0;  // the last tenth written, or the last percentage drawn
    bool drawn_ = false;
};
