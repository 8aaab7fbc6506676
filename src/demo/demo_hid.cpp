// The HID operations of the demos: each goes to the simulated bench or to the recording, as
// chosen at start.
#include "demo/demo_seam.h"

#include <utility>

#include "demo/sim_seam.h"
#include "device/hid.h"
#include "replay/replay.h"

namespace {

bool& recordingServed() {
    static bool served = false;
    return served;
}

}  // namespace

namespace demo {

bool serveRecording(const std::string& fileName, const std::string& carriedDigest,
                    std::string* problem) {
    replay::Recording recording;
    if (!replay::readRecordingFile(fileName, &recording, problem)) return false;
    if (recording.imageDigest != carriedDigest) {
        *problem = "it was made with the image whose SHA-256 is " + recording.imageDigest +
                   "; this demo carries " + carriedDigest +
                   ", and replays only recordings of the image it carries.";
        return false;
    }
    replay::serve(std::move(recording));
    recordingServed() = true;
    return true;
}
bool servesRecording() { return recordingServed(); }

}  // namespace demo

namespace hid {

// A device of the bench, or (null) the recording's unit.
struct Device {
    simhid::Device* simulated;
};

bool enumerateDevices(std::uint16_t vendorId, std::uint16_t productId,
                      std::vector<DeviceInfo>* devices, Error* error) {
    if (recordingServed()) return replay::enumerate(vendorId, productId, devices, error);
    return simhid::enumerateDevices(vendorId, productId, devices, error);
}

Device* openDevice(const std::string& path, Error* error) {
    if (recordingServed()) return replay::open(path, error) ? new Device{nullptr} : nullptr;
    simhid::Device* simulated = simhid::openDevice(path, error);
    return simulated != nullptr ? new Device{simulated} : nullptr;
}

void closeDevice(Device* device) {
    if (device == nullptr) return;
    simhid::closeDevice(device->simulated);
    delete device;
}

Device* reopenAlone(Device* device, const std::string& path, Error* error) {
    if (device->simulated == nullptr) return device;
    device->simulated = simhid::reopenAlone(device->simulated, path, error);
    if (device->simulated != nullptr) return device;
    delete device;
    return nullptr;
}

bool isInUse(Error error) { return simhid::isInUse(error); }

bool flushInput(Device& device) {
    return device.simulated != nullptr && simhid::flushInput(*device.simulated);
}

bool writeReport(Device& device, const std::uint8_t* report, std::uint32_t length,
                 std::uint32_t timeoutMs, Error* error) {
    if (device.simulated == nullptr) return replay::write(report, length, error);
    return simhid::writeReport(*device.simulated, report, length, timeoutMs, error);
}

bool readReport(Device& device, std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs,
                Error* error) {
    if (device.simulated == nullptr) return replay::read(report, length, error);
    return simhid::readReport(*device.simulated, report, length, timeoutMs, error);
}

// A recording is served without its waits: it has its times, the replay needs none.
void pause(std::uint32_t ms) {
    if (!recordingServed()) simhid::pause(ms);
}

}  // namespace hid
