// The platform's HID support as the device link needs it, shaped like a device: enumerate the
// devices of a vendor, open one by its path, write one report, read one report within a time-out
// that the caller gives, close it. Every failure carries the platform's own error code, which the
// update shows in its error-code line.
//
// Each backend is an object of its own class: src/win32/hid_windows.cpp (SetupAPI and hid.dll)
// for the Windows program, src/linux/hid_linux.cpp (sysfs and hidraw) for the Linux program,
// src/sim/sim_hid.cpp (the simulated programming unit) for the tests and the demos,
// src/replay/replay_hid.cpp (a recorded session) for the demos and the replay tests. The program
// chooses one at run time. The operations block the calling thread; none of them shows a
// message. On the user-interface thread the waits of writeReport and readReport let the windows'
// paint and sent messages through at least every 100 ms, and no input.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hid {

// The platform's error code: GetLastError() on Windows, errno on Linux. Never 0 for a failure.
using Error = std::uint32_t;

// One present HID device, as the enumeration finds it; nothing is opened to learn it where the
// platform allows.
struct DeviceInfo {
    std::string path;  // UTF-8; what Backend::open takes, and what a removal notice names
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // Report lengths in bytes, report-ID byte included, as the platform's HID support counts
    // them; 0 when they cannot be read.
    std::uint16_t outputReportLength = 0;
    std::uint16_t inputReportLength = 0;
};

// An open device, owned by whoever holds it and closed when it goes. Each backend has its own
// kind of device and hands it only to its own operations.
class Device {
public:
    virtual ~Device() = default;

protected:
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
};
using OpenDevice = std::unique_ptr<Device>;

// The HID operations of one platform, or of a stand-in for one (the simulated bench, a
// recording). A program makes the one it runs on and hands it to its sessions.
class Backend {
public:
    virtual ~Backend() = default;

    // The present HID devices with vendorId, in the platform's order (productId 0: any
    // product). False, with *error, when the platform cannot list its devices.
    virtual bool enumerate(std::uint16_t vendorId, std::uint16_t productId,
                           std::vector<DeviceInfo>* devices, Error* error) = 0;

    // Opens the device at path for reading and writing, shared with other programs (on Linux the
    // node is also locked against other copies of this program while it is open). Null, with
    // *error, when it cannot be opened.
    virtual OpenDevice open(const std::string& path, Error* error) = 0;

    // Makes device the only handle through which the device at path can be written while it
    // stays open. On Windows the shared handle is closed and the device opened again shared for
    // reading only; null, with *error, when that fails: isInUse(*error) while another program
    // holds the device open for writing, another error when it is gone. On Linux the node's lock
    // already keeps the other copies off (the node has no share modes), and device is handed
    // back as it is. device is taken over either way: the caller uses only what this returns.
    virtual OpenDevice reopenAlone(OpenDevice device, const std::string& path, Error* error) = 0;

    // Whether error, from open or reopenAlone, says that another program holds the device.
    virtual bool isInUse(Error error) const = 0;

    // Drops the input reports that the platform holds for this device. The HID drivers hand
    // every input report to every open handle of a device, so a report queued before a request
    // may be a reply meant for another program, or a late one; a reply read after this follows
    // the request. True when at least one report was there to drop.
    virtual bool flushInput(Device& device) = 0;

    // Writes one output report of exactly length bytes (byte 0 the report ID), waiting at most
    // timeoutMs for the platform to take it. False, with *error, when it fails or times out.
    virtual bool writeReport(Device& device, const std::uint8_t* report, std::uint32_t length,
                             std::uint32_t timeoutMs, Error* error) = 0;

    // Reads one input report of exactly length bytes into report (byte 0 the report ID), waiting
    // at most timeoutMs for it. False, with *error, when it fails, times out, or a report of
    // another length arrives. The platform no longer touches report once this returns, whatever
    // the outcome.
    virtual bool readReport(Device& device, std::uint8_t* report, std::uint32_t length,
                            std::uint32_t timeoutMs, Error* error) = 0;

protected:
    Backend() = default;
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;
};

}  // namespace hid
