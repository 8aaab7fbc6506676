// The texts of the Version panel's three rows, apart from any window: the main window shows them,
// and the command-line program prints them.
#pragma once

#include "device/device_session.h"

// Each label is composed in a buffer of this many characters, terminator included.
constexpr int kVersionLabelSize = 32;

struct VersionLabels {
    const wchar_t* productName;  // row 1's caption once a unit is shown: "LINKWAVE" or "LINK-CUBE"
    wchar_t unit[kVersionLabelSize];        // row 1: the programming unit's firmware
    wchar_t bootloader[kVersionLabelSize];  // row 2: the controller's bootloader
    wchar_t controller[kVersionLabelSize];  // row 3: the controller's firmware
};

// What the user is shown of an open unit: what its identification told, and after a successful
// update the firmware version that was written. The device record keeps what the unit said.
struct UnitView {
    std::uint16_t productId = 0;
    std::uint32_t unitFirmwareVersion = 0;
    std::uint32_t bootloaderVersion = 0;
    std::uint16_t escFirmwareVersion = 0;
};
UnitView viewOf(const DeviceSession& session);

// The labels of an open unit (the open view).
VersionLabels openViewLabels(const UnitView& unit);

// The label of every row while no unit is open (the closed view).
constexpr const wchar_t* kClosedViewLabel = L"0.0.0";

// The three rows as the user reads them: the open view of a unit, or the closed view when open is
// null. Row 1's caption names the unit's model in the open view; in the closed view it is left to
// the shower (the window keeps the last unit's name there, the terminal its caption).
struct VersionRows {
    const wchar_t* row1Name;  // null in the closed view
    wchar_t labels[3][kVersionLabelSize];
};
VersionRows versionRowsOf(const UnitView* open);
