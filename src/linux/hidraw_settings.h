// Settings of the Linux HID backend (src/linux/hid_linux.cpp) beside the HID seam.
//
// The backend lists the HID devices under <sysfs root>/class/hidraw/hidrawN from sysfs alone,
// opening no device node: each one's vendor and product come from device/uevent (HID_ID), its
// report lengths from device/report_descriptor, its path is <dev root>/hidrawN. openDevice opens
// a node only if its device number is the one that sysfs gives for it (hidrawN/dev,
// "major:minor"; ENODEV otherwise), and holds an exclusive flock() on it until it is closed, so
// that two copies of the program never share a unit (EWOULDBLOCK for the second). Every error is
// an errno value.
#pragma once

#include <string>

#include "device/hid.h"

namespace hid::hidraw {

// Where sysfs and the device nodes are: "/sys" and "/dev" unless changed. The tests point both
// into a folder of their own. Set before any other call of the seam.
void setRoots(std::string sysfsRoot, std::string devRoot);

// An open device over the descriptor fd (non-blocking, one report per read and write), which it
// then owns: closeDevice closes fd. Neither sysfs nor a lock is asked. The tests put a socket's
// end in a node's place with it.
Device* adoptDescriptor(int fd);

}  // namespace hid::hidraw
