// A recorded session (replay/replay.h) behind the HID seam, and the clock that serves it: what
// the demos hand their sessions under UPDATER_REPLAY, and the replay tests theirs.
#pragma once

#include "device/clock.h"
#include "device/hid.h"
#include "replay/recording.h"

namespace replay {

// The HID operations answered from the recording, which this backend serves from its first
// event on (replay::serve) as it is made. One unit, opened only as recorded; nothing is queued,
// nothing is held by another program.
class RecordingBackend final : public hid::Backend {
public:
    explicit RecordingBackend(Recording recording);

    bool enumerate(std::uint16_t vendorId, std::uint16_t productId,
                   std::vector<hid::DeviceInfo>* devices, hid::Error* error) override;
    hid::OpenDevice open(const std::string& path, hid::Error* error) override;
    hid::OpenDevice reopenAlone(hid::OpenDevice device, const std::string& path,
                                hid::Error* error) override;
    bool isInUse(hid::Error error) const override;
    bool flushInput(hid::Device& device) override;
    bool writeReport(hid::Device& device, const std::uint8_t* report, std::uint32_t length,
                     std::uint32_t timeoutMs, hid::Error* error) override;
    bool readReport(hid::Device& device, std::uint8_t* report, std::uint32_t length,
                    std::uint32_t timeoutMs, hid::Error* error) override;
};

// A recording is served without its waits: it has its times, the replay needs none. The time
// that a log of the replay counts is the steady clock's.
class ReplayClock final : public Clock {
public:
    ReplayClock() = default;

    std::uint64_t nowMs() override { return steadyNowMs(); }
    void pause(std::uint32_t /*ms*/) override {}
};

}  // namespace replay
