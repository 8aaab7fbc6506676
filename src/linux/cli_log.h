// The log of each run of the command-line program (device/session_log.h): where it goes (--log
// FILE, or a new file in $XDG_STATE_HOME/terval-updater, ~/.local/state/terval-updater when that
// is not set), its header, and the line that names it after a failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/catalogue.h"

// Takes "--log FILE" out of the arguments into *file; false when FILE is missing.
bool takeLogOption(std::vector<std::string>* arguments, std::string* file);

// Starts the run's log: into file when it is not empty, else into the state folder.
void startCliLog(const std::string& file);
// The clock of the logs started from now on, in milliseconds (null, the start: the steady clock;
// a simulated bench's virtual clock in tests).
void setLogClock(std::uint64_t (*clockMs)());
// The run's end with its exit code; what the log still holds is written.
void finishCliLog(int exitCode);

// Writes what the log holds so far and returns the line that names its file, or nothing when no
// log could be written.
std::string logFileLine(Language language);
