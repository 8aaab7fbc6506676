// What the path of a HID interface tells before the device is opened.
#pragma once

#include <string>

// The vendor ID that a HID interface's path names in the form Windows gives the collections of
// USB devices (\\?\hid#vid_04d8&pid_f2bf&mi_00#7&1c2f1e2a&0&0000#{4d1e55b2-...}), in either
// letter case; -1 when the path names none in that form (a Bluetooth or I2C device's path, say):
// such a device has to be opened and asked.
int vendorIdInHidPath(const std::wstring& path);
