// The programming units on the machine as the terminal shows them: each one opened and judged,
// its rows and its state, what to do next, and the exit code that its state gives. Several units
// (a club's box of controllers, two units plugged in): `status` lists them all, `update` needs a
// choice among them, one (--device) or every one that is ready (--all).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli_io.h"
#include "device/device_session.h"
#include "device/hid.h"
#include "engine/unit_state.h"
#include "engine/version_labels.h"

namespace cli {

// Why no unit was opened although one is there: this user may not open its node, or another
// program holds it. Any other failure to open one counts as no unit.
enum class Unavailable { none, notPermitted, inUse };
Unavailable unavailability(const DeviceSession& session, const UnitOpenFailure& failure);
// What to tell about such a unit: the reason, its node, and what to do.
std::string unavailableText(Unavailable why, const std::string& node, Language language);

// The exit code of a unit's state.
int exitCodeOf(UnitState state);

// The three rows of the Version panel as the window shows them: the open view for a ready unit,
// the closed view (the session is closed then) for every other state.
VersionRows shownRows(const DeviceSession& session, UnitState state);
// The rows under their captions, one line each.
void printVersionRows(const DeviceSession& session, UnitState state, CliIo& io);
// What the Hint box says in a state: the ready text alone (with the command that updates, where
// tellCommand), or the status, an empty line and the connection steps. An incompatible controller
// is named first, as the window's notice does.
void printHint(UnitState state, bool tellCommand, CliIo& io);

// One unit found: its node and its judgement. Its session stays open while it is ready, so that
// no other program takes the unit between its check and its update.
struct FoundUnit {
    explicit FoundUnit(const DeviceLink& link) : session(link) {}

    hid::DeviceInfo node;
    DeviceSession session;
    UnitState state = UnitState::notFound;
    Unavailable unavailable = Unavailable::none;
};
using FoundUnits = std::vector<std::unique_ptr<FoundUnit>>;

// A unit opened through link and judged; its session stays open while it is ready.
std::unique_ptr<FoundUnit> judgedUnit(const hid::DeviceInfo& node, const DeviceLink& link);
// Each unit opened and judged in turn; every session closed.
FoundUnits judgedUnits(const std::vector<hid::DeviceInfo>& units, const DeviceLink& link);
void closeAll(FoundUnits& found);
bool isReady(const FoundUnit& unit);
// 0 when every unit is ready, else the code of the first that is not.
int firstUnitsExitCode(const FoundUnits& found);
// The model's name of a node ("LINK-CUBE"), and the unit named by node and model
// ("/dev/hidraw0 (LINK-CUBE)").
std::string modelOf(const hid::DeviceInfo& node);
std::string unitName(const hid::DeviceInfo& node);
// Each unit under its node and model, with its three rows and its state.
void printUnits(const FoundUnits& found, CliIo& io);

// The units that a command takes: every unit found, or the one whose node device names (when not
// empty). False when it names no unit's node.
bool chosenUnits(hid::Backend& backend, const std::string& device,
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

}  // namespace cli
