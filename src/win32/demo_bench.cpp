#include "win32/demo_bench.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "demo/demo_unit.h"
#include "flash/firmware_image.h"
#include "replay/replay.h"
#include "sim/bench.h"
#include "sim/bench_setup.h"
#include "win32/bench_window.h"
#include "win32/precise_wait_windows.h"

namespace {

demo::DemoUnit& unit() {
    static auto* demoUnit = new demo::DemoUnit;  // lives to the end, as the session using it
    return *demoUnit;
}

// The recording in place of the bench; false, after a message saying why, when it cannot be
// served.
bool startReplay(const char* fileName) {
    const FirmwareImage image = firmwareImage();
    std::string problem;
    if (unit().serveRecording(
            fileName, image.expectedDigest != nullptr ? hexDigest(*image.expectedDigest) : "",
            &problem)) {
        return true;
    }
    const std::string message = std::string("UPDATER_REPLAY=\"") + fileName + "\": " + problem;
    MessageBoxA(nullptr, message.c_str(), "terval-updater-demo", MB_OK | MB_ICONERROR);
    return false;
}

}  // namespace

bool startDemoBench() {
    const char* recording = std::getenv("UPDATER_REPLAY");
    if (recording != nullptr && *recording != '\0') return startReplay(recording);
    sim::UnitSetup setup;
    std::string refusal;
    // The program's own waits, which keep its window alive.
    if (!sim::startDemoBench(std::getenv("UPDATER_SIM_BENCH"), firmwareImage().size, preciseWait,
                             &setup, &refusal)) {
        MessageBoxA(nullptr, refusal.c_str(), "terval-updater-demo", MB_OK | MB_ICONERROR);
        return false;
    }
    openBenchWindow(setup, GetCurrentThreadId());
    return true;
}

void finishDemoBench() {
    if (unit().servesRecording()) {
        const std::string& difference = replay::firstDifference();
        if (!difference.empty()) std::fprintf(stderr, "not as recorded: %s\n", difference.c_str());
        return;
    }
    stopDeviceNotices();
    const char* fileName = std::getenv("UPDATER_SIM_TRANSCRIPT");
    if (fileName != nullptr && *fileName != '\0') {
        const std::lock_guard<std::mutex> hold(sim::benchMutex());
        sim::writeTranscript(fileName);
    }
}

hid::Backend& demoBackend() { return unit().backend(); }

Clock& demoClock() { return unit().clock(); }
