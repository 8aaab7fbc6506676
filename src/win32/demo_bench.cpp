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
    sim::reset();
    sim::setRealTime(true);
    sim::setRealTimeWait(preciseWait);  // the program's own waits, which keep its window alive
    sim::UnitSetup setup;
    setup.imageSize = firmwareImage().size;
    const char* words = std::getenv("UPDATER_SIM_BENCH");
    if (words != nullptr && !sim::parseUnitSetup(words, &setup)) {
        // A bench that was asked for and is not known: no silent default in its place.
        const std::string message = std::string("UPDATER_SIM_BENCH=\"") + words +
                                    "\" is not a bench this demo knows. Known words:\r\n" +
                                    sim::knownSetupWords();
        MessageBoxA(nullptr, message.c_str(), "terval-updater-demo", MB_OK | MB_ICONERROR);
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
