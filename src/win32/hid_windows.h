// What the Windows HID backend shows of an open device beyond the seam: its file handle, for the
// tests that run the report transfers over a named pipe opened with hid::openDevice.
#pragma once

#include <windows.h>

#include "device/hid.h"

namespace hid {

HANDLE windowsHandle(const Device& device);

}  // namespace hid
