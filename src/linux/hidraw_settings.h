// The Linux HID backend (src/linux/hid_linux.cpp) and the Linux clock.
//
// The backend lists the HID devices under <sysfs root>/class/hidraw/hidrawN from sysfs alone,
// opening no device node: each one's vendor and product come from device/uevent (HID_ID), its
// report lengths from device/report_descriptor, its path is <dev root>/hidrawN. open opens
// a node only if its device number is the one that sysfs gives for it (hidrawN/dev,
// "major:minor"; ENODEV otherwise), and holds an exclusive flock() on it until it is closed, so
// that two copies of the program never share a unit (EWOULDBLOCK for the second). Every error is
// an errno value.
#pragma once

#include <string>

#include "device/clock.h"
#include "device/hid.h"

namespace hid::hidraw {

class HidrawBackend final : public Backend {
public:
    // Where sysfs and the device nodes are: "/sys" and "/dev" for the program; the tests point
    // both into a folder of their own.
    explicit HidrawBackend(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");

    bool enumerate(std::uint16_t vendorId, std::uint16_t productId,
                   std::vector<DeviceInfo>* devices, Error* error) override;
    OpenDevice open(const std::string& path, Error* error) override;
    OpenDevice reopenAlone(OpenDevice device, const std::string& path, Error* error) override;
    bool isInUse(Error error) const override;
    bool flushInput(Device& device) override;
    bool writeReport(Device& device, const std::uint8_t* report, std::uint32_t length,
                     std::uint32_t timeoutMs, Error* error) override;
    bool readReport(Device& device, std::uint8_t* report, std::uint32_t length,
                    std::uint32_t timeoutMs, Error* error) override;

private:
    std::string sysfsRoot_;
    std::string devRoot_;
};

// An open device over the descriptor fd (non-blocking, one report per read and write), which it
// then owns and closes when it goes. Neither sysfs nor a lock is asked. The tests put a socket's
// end in a node's place with it.
OpenDevice adoptDescriptor(int fd);

// The monotonic clock; a pause sleeps to an absolute deadline on it.
class MonotonicClock final : public Clock {
public:
    MonotonicClock() = default;

    std::uint64_t nowMs() override;
    void pause(std::uint32_t ms) override;
};

}  // namespace hid::hidraw
