// The progress of units written side by side: the thread that follows it returns once every unit
// has ended, however the units' last news and its drawing interleave.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
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

}  // namespace
