// The progress of the updates: of several units side by side, one line for each unit, naming it;
// of one unit, its bar alone. On a terminal the lines are redrawn in place, as wide as the
// terminal; elsewhere one line per unit and 10 %. The threads that write the units tell it their
// progress and never wait for a draw: only the thread that made it writes, one write per draw, so
// that lines never mix, and a terminal that takes no output (stopped with Ctrl-S, a full pipe)
// stops that thread alone. What changed meanwhile is drawn, as it is then, by its next draw.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

class UnitsProgress {
public:
    // labels: one per unit, in the order of the lines; a single empty label for the update of
    // one unit, whose bar is drawn in place on the line it starts on and ended by a line feed once
    // its blocks are over. columns: the terminal's width now; empty when lines cannot be redrawn
    // in place. noticeGiven: whether a line has been written below the block from outside (the
    // notice of a held signal); the block is then drawn anew below it.
    UnitsProgress(std::ostream& out, std::function<int()> columns, std::vector<std::string> labels,
                  std::function<bool()> noticeGiven);

    // From any thread: unit's blocks are about to be sent; percent of its image has been sent; its
    // blocks are over; its update has ended. Told on the thread that made it, they are drawn at
    // once; from another thread, by follow().
    void start(std::size_t unit);
    void show(std::size_t unit, std::uint32_t percent);
    void finish(std::size_t unit);
    void ended(std::size_t unit);

    // On the thread that made it: draws what the units tell until every unit's update has ended.
    // drawing: wraps each draw (the held signals held off during it).
    void follow(const std::function<void(const std::function<void()>& draw)>& drawing);

private:
    struct Line {
        std::chrono::steady_clock::time_point started{};
        std::chrono::steady_clock::duration spent{};  // once its blocks are over
        bool running = false;
        std::uint32_t percent = 0;
        std::uint32_t tenthsShown = 0;
        bool ended = false;
    };

    void changed(std::unique_lock<std::mutex>& hold);
    bool allEnded() const;  // with mutex_ held
    void draw();
    std::string block();
    std::string bar();
    std::string tenths();

    std::ostream& out_;
    std::function<int()> columns_;
    std::vector<std::string> labels_;
    std::function<bool()> noticeGiven_;
    std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Line> lines_;
    bool dirty_ = false;
    bool blockShown_ = false;
    bool noticeSeen_ = false;
    std::size_t labelWidth_ = 0;
    bool single_ = false;  // one unit, unnamed: its bar alone
    std::uint32_t percentDrawn_ = 0;
    bool barEnded_ = false;
};
