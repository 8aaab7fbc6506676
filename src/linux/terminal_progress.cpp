#include "terminal_progress.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kBarWidth = 40;

// "m:ss" of the time that the rest will take at the pace so far; "-:--" before there is a pace.
std::string timeLeft(std::chrono::steady_clock::duration spent, std::uint32_t percent) {
    if (percent == 0 || percent >= 100) return percent >= 100 ? "0:00" : "-:--";
    const auto spentMs = std::chrono::duration_cast<std::chrono::milliseconds>(spent).count();
    const long long leftSeconds = spentMs * (100 - percent) / percent / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", leftSeconds / 60, leftSeconds % 60);
    return text;
}

}  // namespace

void TerminalProgress::start() {
    started_ = std::chrono::steady_clock::now();
    lastShown_ = 0;
    drawn_ = false;
    show(0);
}

void TerminalProgress::show(std::uint32_t percent) {
    if (!isTerminal_) {
        // One line per tenth reached; the start itself says nothing.
        const std::uint32_t tenth = percent / 10;
        for (std::uint32_t shown = lastShown_ + 1; shown <= tenth; ++shown) {
            out_ << shown * 10 << " %\n";
        }
        if (tenth > lastShown_) {
            lastShown_ = tenth;
            out_.flush();
        }
        return;
    }
    if (drawn_ && percent == lastShown_) return;
    const int filled = static_cast<int>(percent) * kBarWidth / 100;
    char percentText[8];
    std::snprintf(percentText, sizeof percentText, "%3u %%", static_cast<unsigned>(percent));
    out_ << '\r' << percentText << " [" << std::string(filled, '#')
         << std::string(kBarWidth - filled, '.') << "] "
         << timeLeft(std::chrono::steady_clock::now() - started_, percent) << "  " << std::flush;
    lastShown_ = percent;
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (isTerminal_ && drawn_) out_ << '\n' << std::flush;
}
