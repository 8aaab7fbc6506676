// The device link: the one record of the open programming unit, and the request/reply channel
// through which every command reaches it.
#pragma once

#include <cstdint>

#include "device/hid.h"
#include "device/protocol.h"
#include "device/report.h"

// Result of every device operation.
using ResultCode = std::int32_t;
constexpr ResultCode kSuccess = 0;
constexpr ResultCode kNotAvailable = -1;    // no unit open (nothing sent), no device list or
                                            // capabilities, or a parameter outside its limit
constexpr ResultCode kWriteFailed = -2;     // the output report was not written
constexpr ResultCode kReadFailed = -3;      // the input report was not read
constexpr ResultCode kNoUnitPresent = -4;   // no programming unit among the HID devices
constexpr ResultCode kStateNotConfirmed = 1627;  // the reply did not echo the requested state
// Any other value is an error code that the unit sent with a refusal.

struct UnitLoaderInfo {
    std::uint8_t loaderInfo1;
    std::uint16_t loaderInfo2;
    std::uint32_t loaderInfo3;
    std::uint32_t loaderInfo4;
    std::uint8_t loaderInfo5;
};

// The single record of the open programming unit. Closed: handle -1, devicePath null, every
// other field zero. It owns its path (and its handle), so it is not copied: a copy closed or
// freed twice would close another's device or free its path. Moving hands both over and leaves
// the source closed.
struct DeviceSession {
    DeviceSession() = default;
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;
    DeviceSession(DeviceSession&& other) noexcept;
    // Only onto a closed record: what this one held is not closed or freed.
    DeviceSession& operator=(DeviceSession&& other) noexcept;

    hid::Handle handle = hid::kInvalidHandle;
    wchar_t* devicePath = nullptr;  // owned; freed by closeSession
    std::uint32_t outputReportLength = 0;
    std::uint32_t inputReportLength = 0;
    std::uint8_t unitMode = 0;
    std::uint32_t unitFirmwareVersion = 0;
    std::uint32_t unitAuxValue = 0;
    std::uint16_t escStatus = 0;
    std::uint16_t escAuxValue = 0;
    UnitLoaderInfo unitLoaderInfo{};
    std::uint8_t escInfoBlock[32]{};
    std::uint8_t escLoaderBlock[40]{};
    std::uint16_t productId = 0;

    // Every field to the closed state's value; closes and frees nothing (closeSession does).
    void resetToClosed();
};

// The values kept inside the identification blocks.
std::uint16_t escFirmwareVersion(const DeviceSession& session);
void setEscFirmwareVersion(DeviceSession& session, std::uint16_t version);
std::uint32_t escTypeCode(const DeviceSession& session);
std::uint32_t bootloaderVersion(const DeviceSession& session);

inline bool isOpen(const DeviceSession& session) {
    return session.handle != hid::kInvalidHandle;
}

// Closes whatever is open, finds the first HID device with the unit's vendor ID and product ID
// 1 or 2, opens it and identifies it. -1 when the device list cannot be created, -4 when no unit
// is present (the record stays closed); otherwise the result of identifyUnit, with the record
// left open whatever it is.
ResultCode openSession(DeviceSession& session);

// Closes the handle, frees the path and returns the record to its closed state; harmless on a
// closed record.
void closeSession(DeviceSession& session);

// Stores the report lengths from the unit's capabilities: 0, or -1 when no unit is open, the
// capabilities cannot be read, or the lengths do not fit the report buffers.
ResultCode readReportLengths(DeviceSession& session);

// Learns the unit's mode and versions and the attached controller's (one to three queries).
ResultCode identifyUnit(DeviceSession& session);

// One request/reply pair: writes request as one output report of outputReportLength bytes,
// waits pauseMs, reads one input report of inputReportLength bytes into reply. 0, -1 (nothing
// sent), -2 or -3. The platform's last error is left as the failing call set it.
ResultCode exchange(DeviceSession& session, const Report& request, Report& reply,
                    std::uint32_t pauseMs);

// The two rules by which a reply is judged.
// Refusal rule: 0 unless byte 1 is 0xFF; then the error code from bytes 4.. (0 counts as success).
ResultCode refusalCode32(const Report& reply);
ResultCode refusalCode16(const Report& reply);
// Confirmation rule: 0 when byte 3 holds the requested state, else 1627.
ResultCode confirmState(const Report& reply, std::uint8_t state);
