// The demo around the updater: the simulated bench in real time, set up as UPDATER_SIM_BENCH says
// (words of src/sim/bench_setup.h; by default a LINK-CUBE serving an accepted controller with
// firmware 0.9, plugged in and ready to update), its window, and the simulator's transcript,
// written to the file that UPDATER_SIM_TRANSCRIPT names when it is set. With UPDATER_REPLAY=LOG a
// recorded session (device/session_log.h) is served in place of the bench, without its window.
#pragma once

#include "device/clock.h"
#include "device/hid.h"

// On the UI thread, before the main dialog is made. False, after a message naming the words it
// knows, when UPDATER_SIM_BENCH names a bench it does not know, or after one saying why, when the
// recording of UPDATER_REPLAY cannot be served.
bool startDemoBench();
// On the UI thread, after the main dialog has ended: stops the bench's notices, then writes the
// transcript.
void finishDemoBench();

// What the demo's session is given once startDemoBench has succeeded: the bench's backend and
// clock, or the recording's.
hid::Backend& demoBackend();
Clock& demoClock();
