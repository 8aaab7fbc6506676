// The line of the update's progress bar on a terminal: the percentage, the bar and the time left,
// as wide as the terminal allows (drawn by UnitsProgress).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// "nnn % [####....] m:ss" in fewer than columns characters, the time left reckoned at the pace
// of spent since the blocks began: the bar as wide as there is room for, up to its widest; left
// out where that is too narrow; cut where even the rest is too wide.
std::string progressLine(std::uint32_t percent, std::chrono::steady_clock::duration spent,
                         int columns);
