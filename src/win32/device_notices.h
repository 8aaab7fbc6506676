// WM_DEVICECHANGE on Windows: the registration for HID interface notices and the translation of
// a notice's record into the portable DeviceEventRecord.
#pragma once

#include <windows.h>

#include <string>

#include "ui/device_presence.h"

// Registers window for the arrival and removal notices of every HID device interface; null when
// the registration fails (or hid.dll cannot be loaded).
HDEVNOTIFY registerForHidNotices(HWND window);

// The portable record of a WM_DEVICECHANGE, which lives as long as *storage does; null when the
// event carries no record. Only arrivals and removals are looked at: other events' lParam need
// not point to a record at all.
const DeviceEventRecord* readDeviceNotice(WPARAM event, LPARAM lParam, DeviceEventRecord* record,
                                          std::wstring* storage);
