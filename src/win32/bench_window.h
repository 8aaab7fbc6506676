// The demo's bench window: the simulated programming unit's stand-in for the hardware on the
// desk. A person plugs the unit in and out and picks which unit it is and what hangs on it; the
// unit's arrival and removal reach the updater's main window as WM_DEVICECHANGE, as Windows
// delivers them. The window's class and control IDs are fixed, so that tests can work it too.
#pragma once

#include <windows.h>

#include "sim/bench_setup.h"

constexpr wchar_t kBenchWindowClass[] = L"TervalSimulatedBench";
constexpr int kBenchProductList = 101;     // sim::kProductChoices, in that order
constexpr int kBenchAttachmentList = 102;  // sim::kAttachmentChoices
constexpr int kBenchFirmwareList = 103;    // sim::kFirmwareChoices
constexpr int kBenchPlugInButton = 104;    // disabled while the unit is plugged in
constexpr int kBenchUnplugButton = 105;    // disabled while it is not
constexpr int kBenchStatusText = 106;

// Puts the unit that setup describes on the bench (plugged in if setup says so, before this
// returns) and opens the bench window on a thread of its own. uiThread is the thread that will
// run the updater's main dialog: the one that the unit's arrivals and removals are sent to.
void openBenchWindow(const sim::UnitSetup& setup, DWORD uiThread);

// Stops delivering notices, on the UI thread once the main dialog has ended. It handles the
// messages sent to that thread meanwhile, so that a notice on its way is not waited for forever.
// The bench window stays until the process ends: under Wine without a window manager, closing a
// top-level window waits two seconds for a manager that never answers.
void stopDeviceNotices();
