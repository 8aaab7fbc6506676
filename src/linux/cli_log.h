// The log of each run of the command-line program (device/session_log.h): where it goes (--log
// FILE, or a new file in $XDG_STATE_HOME/terval-updater, ~/.local/state/terval-updater when that
// is not set; the demo keeps its own folder), its header, and the line that names it after a
// failure or says that it could not be written.
#pragma once

#include <cstdint>
#include <string>

#include "device/clock.h"
#include "device/session_log.h"
#include "engine/catalogue.h"

// Starts the run's log: into file when it is not empty, else into the state folder; its times
// counted on clock.
void startCliLog(sessionlog::Log& log, const std::string& file, Clock& clock);
// Starts the log of one unit of several updated side by side (update --all), named after its node
// so that each unit's is found: "FILE-hidraw3.log" for a file given as "FILE.log", else a new
// file in the state folder whose name ends in "-hidraw3".
void startUnitLog(sessionlog::Log& log, const std::string& file, const std::string& node,
                  Clock& clock);
// The folder in the state folder that the logs go to ("terval-updater" unless set): the demo's
// logs stay apart from the program's.
void setLogFolderName(const std::string& name);
// The run's end with its exit code; the whole log is written. Returns the line that says it could
// not be, unless the run already said so; else nothing.
std::string finishCliLog(sessionlog::Log& log, int exitCode, Language language);

// Writes the log so far and returns the line that names its file, the line that says it could
// not be written, or nothing when there is no log (none given, or no unit opened).
std::string logFileLine(sessionlog::Log* log, Language language);
