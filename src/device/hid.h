// The platform's HID support as the device link needs it, shaped like a device: enumerate the
// devices of a vendor, open one by its path, write one report, read one report within a time-out
// that the caller gives, close it. Every failure carries the platform's own error code, which the
// update shows in its error-code line.
//
// One backend is linked into each executable: src/win32/hid_windows.cpp (SetupAPI and hid.dll)
// for the Windows program, src/linux/hid_linux.cpp (sysfs and hidraw) for the Linux program,
// src/sim/sim_hid.cpp (the simulated programming unit) for the tests and the demos. The functions
// block the calling thread; none of them shows a message.
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
    std::string path;  // UTF-8; what openDevice takes, and what a removal notice names
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // Report lengths in bytes, report-ID byte included, as the platform's HID support counts
    // them; 0 when they cannot be read.
    std::uint16_t outputReportLength = 0;
    std::uint16_t inputReportLength = 0;
};

// The present HID devices with vendorId, in the platform's order (productId 0: any product).
// False, with *error, when the platform cannot list its devices.
bool enumerateDevices(std::uint16_t vendorId, std::uint16_t productId,
                      std::vector<DeviceInfo>* devices, Error* error);

// An open device; each backend defines it.
struct Device;

// Opens the device at path for reading and writing, shared with other programs (on Linux the
// node is also locked against other copies of this program while it is open). Null, with
// *error, when it cannot be opened. The caller closes it with closeDevice (OpenDevice does).
Device* openDevice(const std::string& path, Error* error);
void closeDevice(Device* device);

// Makes device the only handle through which the device at path can be written while it stays
// open. On Windows the shared handle is closed and the device opened again shared for reading
// only; null, with *error, when that fails: isInUse(*error) while another program holds the
// device open for writing, another error when it is gone. On Linux the node's lock already keeps
// the other copies off (the node has no share modes), and device is handed back as it is. device
// is taken over either way: the caller uses only what this returns.
Device* reopenAlone(Device* device, const std::string& path, Error* error);

// Whether error, from openDevice or reopenAlone, says that another program holds the device.
bool isInUse(Error error);

// Owns an open device: closes it when it goes, cannot be copied.
struct DeviceCloser {
    void operator()(Device* device) const noexcept { closeDevice(device); }
};
using OpenDevice = std::unique_ptr<Device, DeviceCloser>;

// Drops the input reports that the platform holds for this device. The HID drivers hand every
// input report to every open handle of a device, so a report queued before a request may be a
// reply meant for another program, or a late one; a reply read after this follows the request.
// True when at least one report was there to drop.
bool flushInput(Device& device);

// Writes one output report of exactly length bytes (byte 0 the report ID), waiting at most
// timeoutMs for the platform to take it. False, with *error, when it fails or times out.
bool writeReport(Device& device, const std::uint8_t* report, std::uint32_t length,
                 std::uint32_t timeoutMs, Error* error);

// Reads one input report of exactly length bytes into report (byte 0 the report ID), waiting at
// most timeoutMs for it. False, with *error, when it fails, times out, or a report of another
// length arrives. The platform no longer touches report once this returns, whatever the outcome.
bool readReport(Device& device, std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs,
                Error* error);

// Blocks the calling thread for at least ms milliseconds; the simulation's clock may be virtual.
// On the user-interface thread this and the waits of writeReport and readReport let the windows'
// paint and sent messages through at least every 100 ms, and no input.
void pause(std::uint32_t ms);

}  // namespace hid
