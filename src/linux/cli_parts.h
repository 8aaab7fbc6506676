// The parts of the command-line program (cli.cpp) that the code for several units
// (cli_units.cpp) shares with the code for one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli.h"
#include "device/device_session.h"
#include "engine/unit_state.h"
#include "engine/version_labels.h"
#include "units_progress.h"

namespace cli {

// The exit code of a unit's state.
int exitCodeOf(UnitState state);

// The three rows of the Version panel as the window shows them: the open view for a ready unit,
// the closed view (the session is closed then) for every other state.
VersionRows shownRows(const DeviceSession& session, UnitState state);
// The rows under their captions, one line each.
void printVersionRows(const DeviceSession& session, UnitState state, CliIo& io);

// Why no unit was opened although one is there: this user may not open its node, or another
// program holds it. Any other failure to open one counts as no unit.
enum class Unavailable { no, notPermitted, inUse };
Unavailable unavailability(const DeviceSession& session, const UnitOpenFailure& failure);
// What to tell about such a unit: the reason, its node, and what to do.
std::string unavailableText(Unavailable why, const std::string& node, Language language);

// A question with its caption, on the terminal beside the progress even when the output goes to
// a file; yes only for an answer that starts with y (or j, in German).
bool confirmed(std::uint16_t captionId, std::uint16_t textId, bool answerYes, CliIo& io);

// The writings of the units (one for `update`), each on a thread of its own, while this thread
// draws their progress until every one has ended (UnitsProgress::ended).
void runWritings(const std::vector<std::function<void()>>& writings, UnitsProgress& progress,
                 CliIo& io);

// The command line not understood: what, and the usage; kExitUsage.
int usage(const std::string& what, CliIo& io);

}  // namespace cli
