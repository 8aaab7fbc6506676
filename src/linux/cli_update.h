// The terminal's face of the update (engine/update_conversation.h): the questions as prompts, the
// progress as bars, the signals held while a controller is written, and the outcomes told once
// every writing has ended. The same conversation for one unit and for several side by side.
#pragma once

#include "cli_io.h"
#include "cli_units.h"

namespace cli {

// update: the conversation with the one open, ready unit, its bar, and its outcome with what to do
// after a failure and the log's line; its session closed. *wrote set as the writing begins. The
// exit code of how it ended.
int updateOneUnit(FoundUnit& unit, bool answerYes, CliIo& io, bool* wrote);

// update --all: the units judged and listed; the warning asked once, the older-or-same question
// for each unit that needs it, each unit named; each unit identified again; then every agreed unit
// updated at the same time, one thread each (or as io.runUpdates runs them); the outcome of each.
// *wrote set as the writing begins. 0 when every update started succeeded, else 1; 4 when every
// unit was declined; before any writing, the code of the first unit that is not ready when none
// is.
int updateEveryReadyUnit(FoundUnits& found, bool answerYes, CliIo& io, bool* wrote);

}  // namespace cli
