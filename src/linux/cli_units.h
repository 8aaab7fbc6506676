// Several programming units on one machine (a club's box of controllers, two units plugged in):
// `status` lists them all, `update` needs a choice among them, one (--device) or every one that
// is ready (--all), whose updates then run side by side, one thread each.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli.h"
#include "device/hid.h"

namespace cli {

// Which units a command takes.
struct UnitChoice {
    std::string device;  // --device PATH: that unit alone; empty when not given
    bool all = false;    // --all: every unit that is ready (update)
    bool json = false;   // --json (status)
};

// Takes --device PATH or --all at arguments[*at] into *choice (*at then at the last argument
// taken). False for any other argument, a --device without its path, or a choice made twice.
bool takeUnitChoice(const std::vector<std::string>& arguments, std::size_t* at, UnitChoice* choice);

// The units that the choice takes: every unit found, or the one whose node choice.device names.
// False when it names no unit's node.
bool chosenUnits(hid::Backend& backend, const UnitChoice& choice,
                 std::vector<hid::DeviceInfo>* units);

// The usage error of a --device that names no unit's node.
std::string notAUnitNode(const std::string& path, Language language);

// Every unit under its node and model, with its three rows and its state, then what to do. The
// exit code: 0 when every unit is ready, else the code of the first that is not.
int statusOfUnits(const std::vector<hid::DeviceInfo>& units, CliIo& io);

// One JSON array on the output, one object per unit (none: an empty array); the exit code as
// statusOfUnits, and 2 for no unit.
int statusAsJson(const std::vector<hid::DeviceInfo>& units, CliIo& io);

// An update with several units and no choice: nothing is sent; the units and the command lines
// that choose each are listed. kExitUsage.
int refuseWithoutChoice(const std::vector<hid::DeviceInfo>& units, bool answerYes, CliIo& io);

// update --all: the units judged and listed; the warning asked once, the older-or-same question
// for each unit that needs it; each unit identified again; then every agreed unit updated at the
// same time, one thread each (or as io.runUpdates runs them); the outcome of each. *wrote set as
// the writing begins. 0 when every update started succeeded, else 1; 4 when every unit was
// declined; before any writing, the code of the first unit that is not ready when none is.
int updateEveryReadyUnit(const std::vector<hid::DeviceInfo>& units, bool answerYes, CliIo& io,
                         bool* wrote);

}  // namespace cli
