// Waits on Windows that are never shorter than asked and not rounded up to the scheduler tick.
#pragma once

#include <cstdint>

#include "device/clock.h"

void preciseWait(std::uint32_t ms);

// The Windows programs' clock: the steady clock, and the precise wait above, which lets the
// windows' paint and sent messages through.
class WindowsClock final : public Clock {
public:
    WindowsClock() = default;

    std::uint64_t nowMs() override { return steadyNowMs(); }
    void pause(std::uint32_t ms) override { preciseWait(ms); }
};
