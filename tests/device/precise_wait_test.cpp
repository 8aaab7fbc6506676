// Waits measured on an injected clock whose sleep wakes late or early.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "device/precise_wait.h"

namespace {

// A clock that moves only when slept on; each sleep lasts what was asked plus an error.
struct FakeClock {
    std::uint64_t now = 0;
    std::int64_t error = 0;  // microseconds added to every sleep (negative: wakes early)
    std::uint64_t tick = 0;  // when non-zero, sleeps end on the next multiple of the tick
    unsigned sleeps = 0;
};
FakeClock fake;

std::uint64_t fakeNow() { return fake.now; }
void fakeSleep(std::uint64_t microseconds) {
    ++fake.sleeps;
    const std::int64_t asked = static_cast<std::int64_t>(fake.now + microseconds);
    std::uint64_t wake = static_cast<std::uint64_t>(
        std::max<std::int64_t>(asked + fake.error, static_cast<std::int64_t>(fake.now) + 1));
    if (fake.tick != 0) wake = (wake + fake.tick - 1) / fake.tick * fake.tick;
    fake.now = wake;
}
const WaitClock kFakeClock{fakeNow, fakeSleep};

struct WaitCase {
    const char* name;
    std::int64_t error;
    std::uint64_t tick;
};

class Waits : public ::testing::TestWithParam<WaitCase> {
protected:
    void SetUp() override { fake = FakeClock{0, GetParam().error, GetParam().tick, 0}; }
};

TEST_P(Waits, AreNeverShorterThanAsked) {
    for (std::uint32_t ms : {0u, 1u, 20u, 1000u, 4000u}) {
        const std::uint64_t start = fake.now;
        waitAtLeast(ms, kFakeClock);
        EXPECT_GE(fake.now - start, ms * 1000ull) << ms << " ms";
    }
}

// Once the deadline has passed the wait ends: it overshoots by no more than the one sleep that
// crossed the deadline can (the clock's late wake-up, or the rest of its tick).
TEST_P(Waits, EndWithTheSleepThatCrossesTheDeadline) {
    const std::uint64_t wakeLate =
        static_cast<std::uint64_t>(std::max<std::int64_t>(0, fake.error));
    const std::uint64_t bound = wakeLate + fake.tick + (fake.tick != 0 ? 0 : 1);
    for (std::uint32_t ms : {1u, 20u, 1000u}) {
        const std::uint64_t start = fake.now;
        waitAtLeast(ms, kFakeClock);
        EXPECT_LE(fake.now - start - ms * 1000ull, bound) << ms << " ms";
    }
}

TEST_P(Waits, AnOversleepNeverShortensTheNextWait) {
    std::vector<std::uint64_t> lengths;
    for (int i = 0; i < 50; ++i) {
        const std::uint64_t start = fake.now;
        waitAtLeast(20, kFakeClock);
        lengths.push_back(fake.now - start);
    }
    for (std::uint64_t length : lengths) EXPECT_GE(length, 20000u);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Clocks, Waits,
    ::testing::Values(WaitCase{"Exact", 0, 0}, WaitCase{"WakesLateByOneTick", 15625, 0},
                      WaitCase{"WakesEarly", -3000, 0}, WaitCase{"OnAScheduleTick", 0, 15625},
                      WaitCase{"EarlyOnATick", -16000, 15625}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(Waits, ATimerThatWakesEarlySleepsAgainForTheRest) {
    fake = FakeClock{0, -19000, 0, 0};
    waitAtLeast(20, kFakeClock);
    EXPECT_GE(fake.now, 20000u);
    EXPECT_GT(fake.sleeps, 1u);
}

// On this machine's own clock and sleep: never shorter than asked. (How far they overshoot is a
// figure of the machine, measured by tools/bench.)
std::uint64_t steadyMicroseconds() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}
void steadySleep(std::uint64_t microseconds) {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

TEST(Waits, OnThisMachinesClockAreNeverShorterThanAsked) {
    const WaitClock clock{steadyMicroseconds, steadySleep};
    for (int i = 0; i < 15; ++i) {
        const std::uint64_t start = steadyMicroseconds();
        waitAtLeast(20, clock);
        EXPECT_GE(steadyMicroseconds() - start, 20000u);
    }
}

TEST(Waits, ZeroDoesNotSleep) {
    fake = FakeClock{};
    waitAtLeast(0, kFakeClock);
    EXPECT_EQ(fake.sleeps, 0u);
}

}  // namespace
