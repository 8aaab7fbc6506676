// The log of each run of the Windows programs that opens a unit (device/session_log.h): one file
// per run under %LOCALAPPDATA%\BELMARODA\TERVAL 160 LX Updater\logs, named by its start time, of
// which the newest 20 are kept.
#pragma once

// Before the main window: starts recording, with the program's name and version in the header.
void startProgramLog(const char* program);
// After it: writes what the log still holds.
void finishProgramLog();
