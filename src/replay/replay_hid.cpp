// The HID operations over a recorded session (replay/replay.h): the seam that the replay tests
// link against. Pauses take no time: the recording has the times, the replay needs none.
#include "device/hid.h"
#include "replay/replay.h"

namespace hid {

struct Device {};

bool enumerateDevices(std::uint16_t vendorId, std::uint16_t productId,
                      std::vector<DeviceInfo>* devices, Error* error) {
    return replay::enumerate(vendorId, productId, devices, error);
}

Device* openDevice(const std::string& path, Error* error) {
    return replay::open(path, error) ? new Device : nullptr;
}

void closeDevice(Device* device) { delete device; }

Device* reopenAlone(Device* device, const std::string& /*path*/, Error* /*error*/) {
    return device;
}

bool isInUse(Error /*error*/) { return false; }

bool flushInput(Device& /*device*/) { return false; }

bool writeReport(Device& /*device*/, const std::uint8_t* report, std::uint32_t length,
                 std::uint32_t /*timeoutMs*/, Error* error) {
    return replay::write(report, length, error);
}

bool readReport(Device& /*device*/, std::uint8_t* report, std::uint32_t length,
                std::uint32_t /*timeoutMs*/, Error* error) {
    return replay::read(report, length, error);
}

void pause(std::uint32_t /*ms*/) {}

}  // namespace hid
