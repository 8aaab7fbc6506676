#include "terminal_progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kWidestBar = 40;
constexpr int kNarrowestBar = 10;  // narrower, the bar says too little and is left out

// "m:ss" of the time that the rest will take at the pace so far; "-:--" before there is a pace.
std::string timeLeft(std::chrono::steady_clock::duration spent, std::uint32_t percent) {
    if (percent == 0 || percent >= 100) return percent >= 100 ? "0:00" : "-:--";
    const auto spentMs = std::chrono::duration_cast<std::chrono::milliseconds>(spent).count();
    const long long leftSeconds = spentMs * (100 - percent) / percent / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", leftSeconds / 60, leftSeconds % 60);
    return text;
}

// "nnn % [####....] m:ss" in fewer than columns characters: the bar as wide as there is room
// for, up to its widest; left out where that is too narrow; cut where even the rest is too wide.
std::string barLine(std::uint32_t percent, const std::string& left, int columns) {
    char percentText[8];
    std::snprintf(percentText, sizeof percentText, "%3u %%", static_cast<unsigned>(percent));
    std::string line = percentText;
    const int room = columns - 1 - static_cast<int>(line.size() + left.size()) - 4;  // " [" "] "
    const int width = std::min(kWidestBar, room);
    if (width >= kNarrowestBar) {
        const int filled = static_cast<int>(percent) * width / 100;
        line += " [" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
    }
    line += ' ' + left;
    if (static_cast<int>(line.size()) >= columns) line.resize(std::max(columns - 1, 0));
    return line;
}

}  // namespace

std::string progressLine(std::uint32_t percent, std::chrono::steady_clock::duration spent,
                         int columns) {
    return barLine(percent, timeLeft(spent, percent), columns);
}
