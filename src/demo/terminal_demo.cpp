// The command-line demo: the simulated programming unit in real time, set up and recorded by the
// same variables as the Windows demo: UPDATER_SIM_BENCH (the words of src/sim/bench_setup.h) and
// UPDATER_SIM_TRANSCRIPT (a file that receives every report sent and received when it ends).
// UPDATER_SIM_BENCH may list several units, separated by commas; each is then a node of its own
// (/dev/hidraw0, /dev/hidraw1, ... in the order listed, as the program shows them) and unit k's
// transcript goes to the file named with ".k" added (k from 1). With UPDATER_REPLAY=LOG it
// serves that session log in place of the bench (src/replay/replay.h).
#include <time.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "linux/cli_log.h"
#include "linux/cli_platform.h"
#include "demo/demo_unit.h"
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

demo::DemoUnit unit;

// The bench's units in the order listed: each one's device id, 0 for one not plugged in.
std::vector<unsigned> listedUnits;

constexpr const char* kProgram = "terval-updater-cli-demo";

// The recording in place of the bench; false, after saying why, when it cannot be served.
bool startReplay(const char* fileName) {
    const FirmwareImage image = firmwareImage();
    std::string problem;
    if (!unit.serveRecording(
            fileName, image.expectedDigest != nullptr ? hexDigest(*image.expectedDigest) : "",
            &problem)) {
        std::cerr << kProgram << ": UPDATER_REPLAY=\"" << fileName << "\": " << problem << '\n';
        return false;
    }
    return true;
}

}  // namespace

bool startPlatform() {
    setLogFolderName(kProgram);  // the demo's logs never push the program's out
    const char* recording = std::getenv("UPDATER_REPLAY");
    if (recording != nullptr && *recording != '\0') return startReplay(recording);
    std::vector<sim::UnitSetup> setups;
    std::string refusal;
    if (!sim::startDemoBench(std::getenv("UPDATER_SIM_BENCH"), firmwareImage().size, preciseWait,
                             &setups, &refusal)) {
        std::cerr << kProgram << ": " << refusal << '\n';
        return false;
    }
    for (std::size_t k = 0; k < setups.size(); ++k) {
        sim::Device device = sim::unitFor(setups[k]);
        device.path = "/dev/hidraw" + std::to_string(k);
        listedUnits.push_back(setups[k].pluggedIn ? sim::plugIn(device) : 0);
    }
    return true;
}

void finishPlatform() {
    if (unit.servesRecording()) {
        if (!replay::firstDifference().empty()) {
            std::cerr << kProgram << ": not as recorded: " << replay::firstDifference() << '\n';
        }
        return;
    }
    const char* fileName = std::getenv("UPDATER_SIM_TRANSCRIPT");
    if (fileName == nullptr || *fileName == '\0') return;
    if (listedUnits.size() == 1) {
        sim::writeTranscript(fileName);
        return;
    }
    for (std::size_t k = 0; k < listedUnits.size(); ++k) {
        sim::writeTranscript(fileName + ("." + std::to_string(k + 1)), listedUnits[k]);
    }
}

bool platformAcceptsPlaceholder() { return true; }
hid::Backend& platformBackend() { return unit.backend(); }
Clock& platformClock() { return unit.clock(); }
