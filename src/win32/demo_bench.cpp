#include "win32/demo_bench.h"

#include <cstdlib>
#include <mutex>

#include <string>

#include "flash/firmware_image.h"
#include "sim/bench.h"
#include "sim/bench_setup.h"
#include "win32/bench_window.h"
#include "win32/precise_wait_windows.h"

bool startDemoBench() {
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
    stopDeviceNotices();
    const char* fileName = std::getenv("UPDATER_SIM_TRANSCRIPT");
    if (fileName != nullptr && *fileName != '\0') {
        const std::lock_guard<std::mutex> hold(sim::benchMutex());
        sim::writeTranscript(fileName);
    }
}
