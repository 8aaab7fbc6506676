// The device link: the one record of the open programming unit, and the request/reply channel
// through which every command reaches it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/clock.h"
#include "device/hid.h"
#include "device/protocol.h"
#include "device/report.h"
#include "device/result.h"
#include "device/session_log.h"

// The longest a single report write or read may take before it is given up. The slowest command,
// the erase, is answered after the controller has wiped its flash memory; the host already waits
// 1000 ms before reading, and a page-by-page erase of the controller's flash takes a few seconds
// at the worst. Ten seconds covers that with room to spare and still ends a silent unit's wait.
constexpr std::uint32_t kReportTimeoutMs = 10000;

// The program's own error values, shown in the error-code line where a failure has no platform
// error behind it (the replay's 0xe0000001, src/replay/replay.h, is another of them).
// During the update a report was waiting in the queue before a request: the reply taken for the
// request before may have been another program's or an unasked report, not the unit's answer.
constexpr hid::Error kErrorReportWaiting = 0xE0000002;
// A reply whose report ID is not the input report's (0x02) is no reply of the unit's.
constexpr hid::Error kErrorNotTheInputReport = 0xE0000003;

struct UnitLoaderInfo {
    std::uint8_t loaderInfo1;
    std::uint16_t loaderInfo2;
    std::uint32_t loaderInfo3;
    std::uint32_t loaderInfo4;
    std::uint8_t loaderInfo5;
};

// What a session reaches the unit and the time through, and records into: given by the program
// that makes the session, and outliving it.
struct DeviceLink {
    hid::Backend& backend;
    Clock& clock;
    sessionlog::Log* log = nullptr;  // null: the session is not recorded
};

// The single record of the open programming unit. Closed: no handle, no path, every other field
// zero; its link stays. It owns its device, so it is not copied; moving hands the device over,
// with the link it was opened through, and leaves the source closed.
struct DeviceSession {
    explicit DeviceSession(const DeviceLink& link)
        : backend(&link.backend), clock(&link.clock), log(link.log) {}
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;
    DeviceSession(DeviceSession&& other) noexcept;
    DeviceSession& operator=(DeviceSession&& other) noexcept;

    hid::Backend* backend;   // never null
    Clock* clock;            // never null
    sessionlog::Log* log;    // null: not recorded
    hid::OpenDevice handle;  // null when no unit is open; a device of backend's
    std::string devicePath;  // UTF-8, as the enumeration gave it
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
    // The platform's error of the latest failed write or read on this record; 0 after an
    // exchange that completed. The error-code line shows
    // it, so it is never one left over from an earlier call.
    hid::Error lastError = 0;
    // Set for the update's span (writeFirmware): a report found queued before a request then
    // fails the exchange instead of being dropped, as the reply before it may have been another's.
    bool updating = false;

    // Every field but the link to the closed state's value, closing the device if one is open.
    void resetToClosed();
};

// A programming unit that the search found but could not open: another program holds it, or this
// user may not open it. Empty path when every unit found was opened (or none was found).
struct UnitOpenFailure {
    std::string path;
    hid::Error error = 0;
};

// The values kept inside the identification blocks.
std::uint16_t escFirmwareVersion(const DeviceSession& session);
std::uint32_t escTypeCode(const DeviceSession& session);
std::uint32_t bootloaderVersion(const DeviceSession& session);

inline bool isOpen(const DeviceSession& session) { return session.handle != nullptr; }

// Closes whatever is open, finds the first HID device with the unit's vendor ID and product ID
// 1 or 2 that opens, and identifies it. -1 when the device list cannot be created, -4 when no unit
// is present or none opens (the record stays closed; *failure, if given, names the first unit that
// would not open); otherwise the result of the identification, with the record left open whatever
// it is.
ResultCode openSession(DeviceSession& session, UnitOpenFailure* failure = nullptr);

// The programming units present (the HID devices with the unit's vendor ID and product ID 1 or 2),
// in the platform's order; nothing is opened. False when the device list cannot be created.
bool findUnits(hid::Backend& backend, std::vector<hid::DeviceInfo>* units);

// As openSession, for the one unit that findUnits gave as unit: closes whatever is open, opens that
// unit and identifies it. -4 when it does not open (*failure, if given, names it); otherwise the
// result of the identification, with the record left open whatever it is.
ResultCode openUnit(DeviceSession& session, const hid::DeviceInfo& unit,
                    UnitOpenFailure* failure = nullptr);

enum class SoleWriter {
    taken,  // the session's handle is now the only one through which the unit can be written
    inUse,  // another program holds the unit open for writing; the session is closed
    lost,   // the unit could not be opened again (gone, say); the session is closed
};

// Makes the open session's handle the only one through which its unit can be written, until the
// session closes (hid::Backend::reopenAlone; the same path, so the same unit). Nothing is sent.
SoleWriter holdAsSoleWriter(DeviceSession& session);

// Closes the device and returns the record to its closed state; harmless on a closed record.
void closeSession(DeviceSession& session);

// Checks the report lengths that the enumeration read from the unit's capabilities: 0, or -1 when
// no unit is open, the capabilities could not be read, or the lengths do not fit the buffers.
ResultCode readReportLengths(const DeviceSession& session);

// Learns the unit's mode and versions and the attached controller's (one to three queries),
// reading each reply with the readers of device/identify_unit.h.
ResultCode identifyUnit(DeviceSession& session);

// One request/reply pair: drops whatever input is queued, writes request as one output report of
// outputReportLength bytes, waits pauseMs, reads one input report of inputReportLength bytes into
// reply. 0, -1 (nothing sent), -2 or -3; lastError tells the platform's error of a failure.
// The protocol carries no request number, so the reply is known only as the first input report
// after the request: one with another report ID fails the read (-3, kErrorNotTheInputReport), and
// while the session is updating, a report found queued before the request fails the exchange
// before anything is sent (-2, kErrorReportWaiting), since the previous reply may not have been
// the unit's.
ResultCode exchange(DeviceSession& session, const Report& request, Report& reply,
                    std::uint32_t pauseMs);
