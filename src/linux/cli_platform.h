// What differs between the command-line program and its demo, chosen at link time: the real
// unit over hidraw (cli_hidraw.cpp) or the simulated one in real time (cli_demo.cpp).
#pragma once

// Before the program's work (false, after a message on standard error, when the platform cannot
// be set up as asked), and after it.
bool startPlatform();
void finishPlatform();
// Whether the build's placeholder image may be written: only to a simulated unit.
bool platformAcceptsPlaceholder();
