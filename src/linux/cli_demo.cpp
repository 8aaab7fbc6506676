// The command-line demo: the simulated programming unit in real time, set up and recorded by the
// same variables as the Windows demo: UPDATER_SIM_BENCH (the words of src/sim/bench_setup.h) and
// UPDATER_SIM_TRANSCRIPT (a file that receives every report sent and received when it ends).
#include <time.h>

#include <cstdlib>
#include <iostream>

#include "cli_platform.h"
#include "device/precise_wait.h"
#include "flash/firmware_image.h"
#include "sim/bench.h"
#include "sim/bench_setup.h"

namespace {

std::uint64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

void sleepMicroseconds(std::uint64_t microseconds) {
    const timespec wait{static_cast<time_t>(microseconds / 1000000u),
                        static_cast<long>(microseconds % 1000000u * 1000u)};
    clock_nanosleep(CLOCK_MONOTONIC, 0, &wait, nullptr);  // an interruption is slept again
}

// The protocol's waits as long as asked and barely longer: the demo's update takes the time the
// real one takes.
void preciseWait(std::uint32_t ms) {
    waitAtLeast(ms, WaitClock{monotonicMicroseconds, sleepMicroseconds});
}

}  // namespace

bool startPlatform() {
    sim::UnitSetup setup;
    std::string refusal;
    if (!sim::startDemoBench(std::getenv("UPDATER_SIM_BENCH"), firmwareImage().size, preciseWait,
                             &setup, &refusal)) {
        std::cerr << "terval-updater-cli-demo: " << refusal << '\n';
        return false;
    }
    if (setup.pluggedIn) sim::plugIn(sim::unitFor(setup));
    return true;
}

void finishPlatform() {
    const char* fileName = std::getenv("UPDATER_SIM_TRANSCRIPT");
    if (fileName != nullptr && *fileName != '\0') sim::writeTranscript(fileName);
}

bool platformAcceptsPlaceholder() { return true; }
