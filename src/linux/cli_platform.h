// What differs between the command-line program and its demo, chosen at link time: the real
// unit over hidraw (cli_hidraw.cpp) or the demo's (src/demo/terminal_demo.cpp), which chooses at
// run time between the simulated bench in real time and a recording.
#pragma once

#include "device/clock.h"
#include "device/hid.h"

// Before the program's work (false, after a message on standard error, when the platform cannot
// be set up as asked), and after it.
bool startPlatform();
void finishPlatform();
// Whether the build's placeholder image may be written: only to a simulated unit.
bool platformAcceptsPlaceholder();
// The backend and the clock that the run's sessions are given, once startPlatform succeeded.
hid::Backend& platformBackend();
Clock& platformClock();
