#include "device/precise_wait.h"

void waitAtLeast(std::uint32_t ms, const WaitClock& clock) {
    const std::uint64_t deadline = clock.now() + std::uint64_t{ms} * 1000;
    for (std::uint64_t now = clock.now(); now < deadline; now = clock.now()) {
        clock.sleep(deadline - now);
    }
}
