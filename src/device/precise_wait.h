// Waits that last at least as long as asked and not much longer, on a platform whose sleep may
// wake early or late (a 20 ms sleep lasts about 31 ms on a 15.6 ms scheduler tick).
#pragma once

#include <cstdint>

// The platform's clock and sleep, in microseconds. sleep may return early or late.
struct WaitClock {
    std::uint64_t (*now)();
    void (*sleep)(std::uint64_t microseconds);
};

// Sleeps until ms milliseconds have passed on clock since the call. Each wait is measured on its
// own: a late wake-up of one wait never shortens the next.
void waitAtLeast(std::uint32_t ms, const WaitClock& clock);
