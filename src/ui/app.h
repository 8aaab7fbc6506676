// The user interface's application state: one of each, for the whole run.
#pragma once

#include "device/device_session.h"

// The one record of the open programming unit; opened and closed by the device presence
// handling, closed by a failed update and by the close of the window.
DeviceSession& appSession();

// The model that this updater serves.
constexpr const wchar_t* kModelName = L"TERVAL 160 LX";
