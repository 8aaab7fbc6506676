// Settings of the Linux HID backend (src/linux/hid_linux.cpp) beside the HID seam.
//
// The backend finds HID interfaces under <sysfs root>/class/hidraw/hidrawN, reads each one's
// vendor and product from device/uevent (HID_ID) and its report lengths from
// device/report_descriptor, and opens <dev root>/hidrawN. A handle is the node's file
// descriptor; the last error is the errno of the last failing call.
#pragma once

#include <cstdint>
#include <string>

namespace hid::hidraw {

// Where sysfs and the device nodes are: "/sys" and "/dev" unless changed. The tests point both
// into a folder of their own. Set before any other call of the seam; handles opened earlier keep
// the sysfs folder they were opened with.
void setRoots(std::string sysfsRoot, std::string devRoot);

// The bound on each report write and read: hid::kReportTimeoutMs unless changed. The tests
// shorten it for the cases that wait it out; the program never changes it.
void setReportTimeoutMs(std::uint32_t ms);

}  // namespace hid::hidraw
