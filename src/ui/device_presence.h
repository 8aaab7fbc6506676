// The window's account of the programming unit and the controller: the start-up probe, arrivals
// and removals, and the Hint box.
#pragma once

#include <cstdint>

#include "device/device_session.h"

// A device-change notice as the window system delivers it.
constexpr std::uint32_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
constexpr std::uint32_t kDeviceTypeInterface = 5;        // DBT_DEVTYP_DEVICEINTERFACE

struct DeviceEventRecord {
    std::uint32_t deviceType;
    const wchar_t* interfacePath;  // for kDeviceTypeInterface; null otherwise
};

void runStartupProbe();
void showProbeResult(ResultCode result, bool atStartup);
// 1 for arrival and remove-complete (handled, whatever was done), 0 for every other event.
int onDeviceChange(std::uint32_t event, const DeviceEventRecord* record);

// While the program works with a unit (an identification, an update from its first command to
// its end), its waits let sent messages through, device notices among them. Arrivals and
// removals that arrive then are held back and handled, in order, once the work has ended: a unit
// pulled mid-transfer then ends in the update's own failure report. Holds nest; the notices are
// handled when the outermost hold is released.
void holdDeviceNotices();
void releaseDeviceNotices();
// True while notices are held: the window then takes no commands either.
bool deviceNoticesHeld();

void setHintText(const wchar_t* text);
void appendHintText(const wchar_t* text);
