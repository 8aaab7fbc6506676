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

// While an update writes, arrivals and removals are held back and handled, in order, once it
// has ended: a unit pulled mid-transfer then ends in the update's own failure report.
void holdDeviceNotices();
void releaseDeviceNotices();

void setHintText(const wchar_t* text);
void appendHintText(const wchar_t* text);
