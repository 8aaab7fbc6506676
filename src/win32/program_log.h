// The log of each run of the Windows programs that opens a unit (device/session_log.h): one file
// per run under %LOCALAPPDATA%\BELMARODA\TERVAL 160 LX Updater\logs (the demo's in demo-logs
// beside it), named by its start time, of which the newest 20 are kept.
#pragma once

#include "device/clock.h"
#include "device/session_log.h"

// Before the main window: starts recording into the subfolder ("logs", "demo-logs"), with the
// program's name and version in the header, its times counted on clock.
void startProgramLog(const char* program, const char* subfolder, Clock& clock);
// The run's log, for the program's session; it lives to the end, for a write from the last
// moments.
sessionlog::Log& programLog();
// After it, and when the user's session ends (the process may not get further): writes the log.
void finishProgramLog();
