// The simulated bench's HID operations (src/sim/sim_hid.cpp) under the name simhid, compiled
// once more for the demos (sim_seam.cpp), so that their dispatch (demo_hid.cpp) can put them
// behind the seam beside a recording's. The same operations as device/hid.h's, on its types.
#pragma once

#include "device/hid.h"

namespace simhid {

using hid::DeviceInfo;
using hid::Error;

struct Device;
bool enumerateDevices(std::uint16_t vendorId, std::uint16_t productId,
                      std::vector<DeviceInfo>* devices, Error* error);
Device* openDevice(const std::string& path, Error* error);
void closeDevice(Device* device);
Device* reopenAlone(Device* device, const std::string& path, Error* error);
bool isInUse(Error error);
bool flushInput(Device& device);
bool writeReport(Device& device, const std::uint8_t* report, std::uint32_t length,
                 std::uint32_t timeoutMs, Error* error);
bool readReport(Device& device, std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs,
                Error* error);
void pause(std::uint32_t ms);

}  // namespace simhid
