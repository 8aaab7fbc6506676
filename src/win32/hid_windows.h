// The HID backend on Windows: SetupAPI for the enumeration, hid.dll for attributes and
// capabilities, overlapped file I/O with a bounded wait for the reports, which lets the windows'
// paint and sent messages through. Every error is a GetLastError() value.
#pragma once

#include <windows.h>

#include "device/hid.h"

namespace hid {

class WindowsBackend final : public Backend {
public:
    WindowsBackend() = default;

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
};

// What the backend shows of a device it opened beyond the seam: its file handle, for the tests
// that run the report transfers over a named pipe opened with WindowsBackend::open.
HANDLE windowsHandle(const Device& device);

}  // namespace hid
