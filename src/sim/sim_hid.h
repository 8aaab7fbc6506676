// The simulated bench (sim/bench.h) behind the HID seam and as the session's clock: what the
// tests and the demos hand their sessions.
#pragma once

#include "device/clock.h"
#include "device/hid.h"

namespace sim {

// The HID operations on the bench in place (a test's ScopedBench, or the program's), with the
// platform's behaviour as the bench plays it: Windows' share modes and error codes, the HID
// driver's input queue, the unit's answers and the faults planned for it.
class BenchBackend final : public hid::Backend {
public:
    BenchBackend() = default;

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

// The bench's clock (sim::now, sim::advance): virtual in the tests, real time in the demos.
class BenchClock final : public Clock {
public:
    BenchClock() = default;

    std::uint64_t nowMs() override;
    void pause(std::uint32_t ms) override;
};

}  // namespace sim
