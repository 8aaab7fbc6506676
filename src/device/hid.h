// The platform's HID operations: everything the device link needs of the operating system.
//
// One implementation is linked into each executable: src/win32/hid_windows.cpp (SetupAPI and
// hid.dll) for the product, src/linux/hid_linux.cpp (hidraw) for the Linux command-line program,
// src/sim/sim_hid.cpp (the simulated programming unit) for the tests
// and the demo. The functions block the calling thread; none of them shows a message.
#pragma once

#include <cstdint>

namespace hid {

// An open HID device. kInvalidHandle (-1, INVALID_HANDLE_VALUE on Windows) means none.
using Handle = std::intptr_t;
constexpr Handle kInvalidHandle = -1;

// The longest a single report write or read may take before it is given up. The slowest command,
// the erase, is answered after the controller has wiped its flash memory; the host already waits
// 1000 ms before reading, and a page-by-page erase of the controller's flash takes a few seconds
// at the worst. Ten seconds covers that with room to spare and still ends a silent unit's wait.
constexpr std::uint32_t kReportTimeoutMs = 10000;

// The platform's list of present HID interfaces. Owned by the caller of listInterfaces, who
// releases it with releaseInterfaceList on every path.
struct InterfaceList;

// The detail record of one interface (its path). Owned by the caller of fetchInterfaceDetail,
// who releases it with releaseInterfaceDetail on every path.
struct InterfaceDetail;

// Lists the present interfaces of the HID class; null when the list cannot be created.
InterfaceList* listInterfaces();
void releaseInterfaceList(InterfaceList* list);

// The index-th interface of the list, counted from 0.
enum class InterfaceLookup {
    found,         // *detail holds a new detail record
    detailFailed,  // the interface exists but its detail could not be read; *detail is null
    end,           // index is past the end of the list; *detail is null
};
InterfaceLookup fetchInterfaceDetail(InterfaceList* list, std::uint32_t index,
                                     InterfaceDetail** detail);
void releaseInterfaceDetail(InterfaceDetail* detail);

// The NUL-terminated interface path inside a detail record; valid while the record lives.
const wchar_t* interfacePath(const InterfaceDetail* detail);

// Opens the device at path for reading and writing, shared for both. kInvalidHandle when it
// cannot be opened. The caller closes the handle with closeDevice on every path.
Handle openDevice(const wchar_t* path);
void closeDevice(Handle handle);

// Drops the input reports that the platform holds for this handle. The HID driver hands every
// input report to every open handle of the device, so a report read before a request could be a
// reply meant for another program; the unit's channel starts empty once it has been opened.
void flushInput(Handle handle);

// USB vendor and product ID; false when the attributes cannot be read.
bool readAttributes(Handle handle, std::uint16_t* vendorId, std::uint16_t* productId);

// Output and input report lengths in bytes, report-ID byte included, from the HID capabilities;
// false when the capabilities cannot be read.
bool readCapabilities(Handle handle, std::uint16_t* outputLength, std::uint16_t* inputLength);

// Writes one output report of exactly length bytes. False when it fails or does not complete
// within kReportTimeoutMs; the platform's last error then tells why (ERROR_TIMEOUT for the bound).
// A write that completes leaves the last error 0, so that an error reported later is never one
// left over from an earlier call.
bool writeReport(Handle handle, const std::uint8_t* report, std::uint32_t length);

// Reads one input report of exactly length bytes into report (byte 0 is the report ID). False
// when it fails or no report arrives within kReportTimeoutMs; the last error then tells why.
// The buffer is no longer touched by the platform once this returns, whatever the outcome. A read
// that completes leaves the last error 0.
bool readReport(Handle handle, std::uint8_t* report, std::uint32_t length);

// Blocks the calling thread for at least ms milliseconds. The simulation's clock may be virtual.
// On the user-interface thread this and the bounded waits of writeReport and readReport let the
// windows' paint and sent messages through at least every 100 ms, and no input.
void pause(std::uint32_t ms);

// The platform's last-error value as the most recent failing call left it.
std::uint32_t lastError();

}  // namespace hid
