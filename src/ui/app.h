// The user interface's application state: one of each, for the whole run.
#pragma once

#include "device/device_session.h"
#include "engine/program_title.h"
#include "engine/version_labels.h"

// Makes the one record of the programming unit, closed, on link; before anything else of the
// user interface, and again to move it to another link (the tests' benches). Any unit open on
// the earlier link is closed first.
void startAppSession(const DeviceLink& link);
// The one record of the open programming unit; opened and closed by the device presence
// handling, closed by a failed update and by the close of the window.
DeviceSession& appSession();

// Opens appSession afresh (openSession) and starts a new session generation, so that the update
// can tell the unit it checked from one opened since, even on the same path.
ResultCode openAppSession();
// The generation of the session: it changes with every openAppSession.
std::uint32_t sessionGeneration();

// What the Version panel shows of the open unit: its identification as openAppSession read it,
// and the firmware written by a successful update.
UnitView& appUnitView();
