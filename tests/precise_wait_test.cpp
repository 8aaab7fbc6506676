// Waits measured on an injected clock whose sleep wakes late or early.
#include <gtest/gtest.h>

#include <algorithm>
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
    std::uint64_t wake = static_cast<std::uint64_t>(std::max<std::int64_t>(
        asked + fake.error, static_cast<std::int64_t>(fake.now) + 1));
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

TEST_P(Waits, AnOversleepNeverShortensTheNextWait) {
    std::vector<std::uint64_t> lengths;
    for (int i = 0; i < 50; ++i) {
        const std::uint64_t start = fake.now;
        waitAtLeast(20, kFakeClock);
        lengths.push_back(fake.now - start);
    }
    for (std::uint64_t length : lengths) EXPECT_GE(length, 20000u);
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, Waits,
    ::testing::Values(WaitCase{"Exact", 0, 0}, WaitCase{"WakesLateByOneTick", 15625, 0},
                      WaitCase{"WakesEarly", -3000, 0}, WaitCase{"OnAScheduleTick", 0, 15625},
                      WaitCase{"EarlyOnATick", -16000, 15625}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Waits, ATimerThatWakesEarlySleepsAgainForTheRest) {
    fake = FakeClock{0, -19000, 0, 0};
    waitAtLeast(20, kFakeClock);
    EXPECT_GE(fake.now, 20000u);
    EXPECT_GT(fake.sleeps, 1u);
}

TEST(Waits, ZeroDoesNotSleep) {
    fake = FakeClock{};
    waitAtLeast(0, kFakeClock);
    EXPECT_EQ(fake.sleeps, 0u);
}

}  // namespace
