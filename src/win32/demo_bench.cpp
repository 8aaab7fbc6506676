#include "win32/demo_bench.h"

#include <cstdlib>
#include <mutex>

#include "sim/bench.h"
#include "sim/bench_setup.h"
#include "win32/bench_window.h"
#include "win32/precise_wait_windows.h"

void startDemoBench() {
    sim::reset();
    sim::setRealTime(true);
    sim::setRealTimeWait(preciseWait);  // the program's own waits, which keep its window alive
    sim::UnitSetup setup;
    if (const char* words = std::getenv("UPDATER_SIM_BENCH")) {
        // Words the bench does not know leave the default start, which the bench window shows.
        sim::parseUnitSetup(words, &setup);
    }
    openBenchWindow(setup, GetCurrentThreadId());
}

void finishDemoBench() {
    stopDeviceNotices();
    const char* fileName = std::getenv("UPDATER_SIM_TRANSCRIPT");
    if (fileName != nullptr && *fileName != '\0') {
        const std::lock_guard<std::mutex> hold(sim::benchMutex());
        sim::writeTranscript(fileName);
    }
}
