// The progress of units written side by side: the thread that follows it returns once every unit
// has ended, however the units' last news and its drawing interleave; a terminal that takes no
// output holds up the drawing alone, never the news.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "linux/units_progress.h"

namespace {

// Units that end at once, many times over: a unit's last news that comes while the follower draws
// the one before must not leave it waiting for news that never comes.
TEST(UnitsProgress, FollowReturnsOnceEveryUnitHasEnded) {
    constexpr int kRounds = 3000;
    constexpr std::size_t kUnits = 4;
    std::future<void> rounds = std::async(std::launch::async, [] {
        for (int round = 0; round < kRounds; ++round) {
            std::ostringstream out;
            UnitsProgress progress(out, nullptr, std::vector<std::string>(kUnits, "unit"), nullptr);
            std::vector<std::thread> units;
            for (std::size_t unit = 0; unit < kUnits; ++unit) {
                units.emplace_back([&progress, unit] {
                    progress.start(unit);
                    progress.show(unit, 100);
                    progress.finish(unit);
                    progress.ended(unit);
                });
            }
            progress.follow([](const std::function<void()>& draw) { draw(); });
            for (std::thread& unit : units) unit.join();
            const std::string lines = out.str();
            ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), long(kUnits * 10))
                << "every unit's tenths drawn, round " << round << ":\n"
                << lines;
        }
    });
    if (rounds.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the follower still waits after every unit ended";
        std::_Exit(1);  // its thread cannot be stopped
    }
    rounds.get();
}

// An output that takes nothing until it is released, as a terminal stopped with Ctrl-S: a write
// waits in it.
class HeldOutput : public std::stringbuf {
public:
    // Whether a write has come to wait, within a second.
    bool writerWaits() {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, std::chrono::seconds(1), [this] { return waiting_; });
    }
    void release() {
        const std::lock_guard<std::mutex> hold(mutex_);
        released_ = true;
        changed_.notify_all();
    }

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        std::unique_lock<std::mutex> hold(mutex_);
        waiting_ = true;
        changed_.notify_all();
        if (!changed_.wait_for(hold, std::chrono::seconds(10), [this] { return released_; })) {
            ADD_FAILURE() << "the output was never released";
        }
        return std::stringbuf::xsputn(text, count);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool waiting_ = false;
    bool released_ = false;
};

// One unit's bar on a terminal that stops taking output at its first frame: every piece of news
// is told meanwhile, none waiting for the draw; once the terminal takes output again, the bar is
// drawn as it is then, the frames in between left out, and its line ended.
TEST(UnitsProgress, AStoppedTerminalHoldsUpNoNews) {
    std::future<std::string> drawn = std::async(std::launch::async, [] {
        HeldOutput held;
        std::ostream out(&held);
        UnitsProgress progress(
            out, [] { return 80; }, {""}, nullptr);
        bool toldWhileHeld = false;
        std::thread unit([&] {
            progress.start(0);
            if (!held.writerWaits()) ADD_FAILURE() << "the first frame was never drawn";
            for (std::uint32_t percent = 1; percent <= 100; ++percent) progress.show(0, percent);
            progress.finish(0);
            toldWhileHeld = true;
            held.release();
            progress.ended(0);
        });
        progress.follow([](const std::function<void()>& draw) { draw(); });
        unit.join();
        EXPECT_TRUE(toldWhileHeld);
        return held.str();
    });
    if (drawn.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the news waited for the stopped terminal";
        std::_Exit(1);  // its threads cannot be stopped
    }
    EXPECT_EQ(drawn.get(),
              "\r  0 % [........................................] -:--\x1b[K"
              "\r100 % [########################################] 0:00\x1b[K\n");
}

}  // namespace
