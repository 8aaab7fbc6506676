// The HID operations over a recorded session (replay/replay.h).
#include "replay/replay_hid.h"

#include <memory>
#include <utility>

#include "replay/replay.h"

namespace replay {
namespace {

// The recording's unit, opened.
struct RecordedDevice final : hid::Device {};

}  // namespace

RecordingBackend::RecordingBackend(Recording recording) { serve(std::move(recording)); }

bool RecordingBackend::enumerate(std::uint16_t vendorId, std::uint16_t productId,
                                 std::vector<hid::DeviceInfo>* devices, hid::Error* error) {
    return replay::enumerate(vendorId, productId, devices, error);
}

hid::OpenDevice RecordingBackend::open(const std::string& path, hid::Error* error) {
    if (!replay::open(path, error)) return nullptr;
    return std::make_unique<RecordedDevice>();
}

hid::OpenDevice RecordingBackend::reopenAlone(hid::OpenDevice device, const std::string& /*path*/,
                                              hid::Error* /*error*/) {
    return device;
}

bool RecordingBackend::isInUse(hid::Error /*error*/) const { return false; }

bool RecordingBackend::flushInput(hid::Device& /*device*/) { return false; }

bool RecordingBackend::writeReport(hid::Device& /*device*/, const std::uint8_t* report,
                                   std::uint32_t length, std::uint32_t /*timeoutMs*/,
                                   hid::Error* error) {
    return replay::write(report, length, error);
}

bool RecordingBackend::readReport(hid::Device& /*device*/, std::uint8_t* report,
                                  std::uint32_t length, std::uint32_t /*timeoutMs*/,
                                  hid::Error* error) {
    return replay::read(report, length, error);
}

}  // namespace replay
