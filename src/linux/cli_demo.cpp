// The command-line demo: the simulated programming unit in real time, set up and recorded by the
// same variables as the Windows demo: UPDATER_SIM_BENCH (the words of src/sim/bench_setup.h) and
// UPDATER_SIM_TRANSCRIPT (a file that receives every report sent and received when it ends). With
// UPDATER_REPLAY=LOG it serves that session log in place of the bench (src/replay/replay.h).
#include <time.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>

#include "cli_platform.h"
#include "demo/demo_seam.h"
#include "device/precise_wait.h"
#include "flash/firmware_image.h"
#include "replay/replay.h"
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

constexpr const char* kProgram = "terval-updater-cli-demo";

// The recording in place of the bench; false, after saying why, when it cannot be served.
bool startReplay(const char* fileName) {
    const FirmwareImage image = firmwareImage();
    std::string problem;
    if (!demo::serveRecording(fileName,
                              image.expectedDigest != nullptr ? hexDigest(*image.expectedDigest) : "",
                              &problem)) {
        std::cerr << kProgram << ": UPDATER_REPLAY=\"" << fileName << "\": " << problem << '\n';
        return false;
    }
    return true;
}

}  // namespace

bool startPlatform() {
    const char* recording = std::getenv("UPDATER_REPLAY");
    if (recording != nullptr && *recording != '\0') return startReplay(recording);
    sim::reset();
    sim::setRealTime(true);
    sim::setRealTimeWait(preciseWait);
    sim::UnitSetup setup;
    setup.imageSize = firmwareImage().size;
    const char* words = std::getenv("UPDATER_SIM_BENCH");
    if (words != nullptr && !sim::parseUnitSetup(words, &setup)) {
        // A bench that was asked for and is not known: no silent default in its place.
        std::cerr << "terval-updater-cli-demo: UPDATER_SIM_BENCH=\"" << words
                  << "\" is not a bench this demo knows. Known words:\n"
                  << sim::knownSetupWords() << '\n';
        return false;
    }
    if (setup.pluggedIn) sim::plugIn(sim::unitFor(setup));
    return true;
}

void finishPlatform() {
    if (demo::servesRecording()) {
        if (!replay::firstDifference().empty()) {
            std::cerr << kProgram << ": not as recorded: " << replay::firstDifference() << '\n';
        }
        return;
    }
    const char* fileName = std::getenv("UPDATER_SIM_TRANSCRIPT");
    if (fileName != nullptr && *fileName != '\0') sim::writeTranscript(fileName);
}

bool platformAcceptsPlaceholder() { return true; }
