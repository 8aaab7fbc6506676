// The exit code of ready-window (ready_window.cpp): what closing its window left behind, one bit
// each; 0 when the close released everything.
#pragma once

namespace ready_window {

constexpr int kSessionLeftOpen = 1;        // a device handle of the simulated unit still open
constexpr int kNoticesLeftRegistered = 2;  // a registration for device notices not given up

}  // namespace ready_window
