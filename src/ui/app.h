// The user interface's application state: one of each, for the whole run.
#pragma once

#include "device/device_session.h"
#include "ui/version_labels.h"

// The one record of the open programming unit; opened and closed by the device presence
// handling, closed by a failed update and by the close of the window.
DeviceSession& appSession();

// Opens appSession afresh (openSession) and counts the opening, so that the update can tell the
// unit it checked from one opened since, even on the same path.
ResultCode openAppSession();
// The number of the latest opening; it changes with every openAppSession.
std::uint32_t appSessionOpening();

// What the Version panel shows of the open unit: its identification as openAppSession read it,
// and the firmware written by a successful update.
UnitView& appUnitView();

// The model that this updater serves.
constexpr const wchar_t* kModelName = L"TERVAL 160 LX";

// The program's name and version, the same in both languages: "BELMARODA <model> FW Updater 1.0
// Bootloaderupdater", the main window's title. Built into buffer (capacity in characters,
// terminator included); its length, or -1.
constexpr int kTitleBufferSize = 256;
int buildWindowTitle(wchar_t* buffer, int capacity);
