// The time of a device session: the waits between its requests, and the milliseconds that its
// log counts. Real on the platforms (src/win32, src/linux), virtual on the simulated bench, so
// that the tests run whole updates without waiting them out.
#pragma once

#include <chrono>
#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds from a start of the clock's own choosing; they never go back.
    virtual std::uint64_t nowMs() = 0;
    // Blocks the calling thread for at least ms milliseconds (on a virtual clock, moves it on).
    // On the user-interface thread the windows' paint and sent messages go through meanwhile at
    // least every 100 ms, and no input.
    virtual void pause(std::uint32_t ms) = 0;

protected:
    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
};

// The process's steady clock, in milliseconds: what the real clocks count.
inline std::uint64_t steadyNowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}
