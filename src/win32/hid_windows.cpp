// The HID operations on Windows (win32/hid_windows.h).
#include "win32/hid_windows.h"

#include <setupapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "win32/hid_library.h"
#include "win32/hid_path.h"
#include "win32/message_wait.h"
#include "win32/utf8.h"

namespace hid {
namespace {

struct Transfer;

// An open handle, closed when it goes.
struct WindowsDevice final : Device {
    WindowsDevice(HANDLE opened, std::uint32_t inputLength)
        : handle(opened), inputReportLength(inputLength) {}
    // Ends the read kept waiting ahead (cancelled, its end awaited within a message interval), and
    // waits for no other transfer, not even one that was given up.
    ~WindowsDevice() override;

    HANDLE handle;
    // The input report's length from the capabilities; 0 when they cannot be read (a pipe in
    // the tests), and then flushInput cannot look whether a report was queued.
    std::uint32_t inputReportLength;
    // A read issued ahead for the next input report, or null: issued after each flush and each
    // reply, so that every report that comes after them is taken by it, and the flush before
    // the next request need only look whether it has completed (see flushInput).
    Transfer* readAhead = nullptr;
    // A transfer that has ended, kept with its event for the next one: making and closing an
    // event are requests to the system (to Wine's server) on the way of every report.
    Transfer* spare = nullptr;
};

WindowsDevice& windowsDevice(Device& device) { return static_cast<WindowsDevice&>(device); }

// A transfer that moved another number of bytes than the report has.
constexpr Error kWrongLengthError = ERROR_INVALID_DATA;

bool fail(Error code, Error* error) {
    *error = code;
    return false;
}

// The error of the call that has just failed; never 0, which would read as success.
Error failureError() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// The path of one interface of the list. The detail record has a variable length: the first
// call asks for its size, the second fills it.
bool interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData, std::wstring* path) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, interfaceData, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return false;
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::calloc(1, size));
    if (detail == nullptr) return false;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);  // the fixed part only
    const bool read = SetupDiGetDeviceInterfaceDetailW(set, interfaceData, detail, size, nullptr,
                                                       nullptr) != FALSE;
    if (read) path->assign(detail->DevicePath);
    std::free(detail);
    return read;
}

void readReportLengths(const HidLibrary& library, HANDLE device, DeviceInfo* info) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!library.getPreparsedData(device, &preparsed)) return;
    HIDP_CAPS caps{};
    const NTSTATUS status = library.getCaps(preparsed, &caps);
    library.freePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) return;
    info->outputReportLength = caps.OutputReportByteLength;
    info->inputReportLength = caps.InputReportByteLength;
}

// IDs and report lengths of the interface at path; false when it cannot be opened or its
// attributes cannot be read. Opening, the attributes and the capabilities are synchronous calls
// without a bound of their own; the HID class driver answers them from what it holds, without
// asking the device. Opened with no access, for queries only: Windows keeps keyboards
// and mice to itself and refuses to open them for reading or writing, but lets anyone ask.
bool describeInterface(const HidLibrary& library, const std::wstring& path, DeviceInfo* info) {
    const HANDLE device = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    const bool read = library.getAttributes(device, &attributes) != FALSE;
    if (read) {
        info->vendorId = attributes.VendorID;
        info->productId = attributes.ProductID;
        readReportLengths(library, device, info);
    }
    CloseHandle(device);
    return read;
}

bool wanted(const DeviceInfo& info, std::uint16_t vendorId, std::uint16_t productId) {
    return info.vendorId == vendorId && (productId == 0 || info.productId == productId);
}

// How long the cancel of a transfer that ran out of time may take to end it. A driver ends a
// cancelled request at once; one that has not within this time is taken never to end.
constexpr DWORD kCancelBoundMs = 1000;

// One overlapped transfer: its OVERLAPPED with its own manual-reset event, and the bytes it moves,
// together on the heap. The platform writes into them until the transfer completes.
struct Transfer {
    OVERLAPPED overlapped;
    std::uint8_t* bytes;
    std::uint32_t capacity;
};

// A transfer of length bytes: the device's spare one when it is long enough, else a new one;
// null (with *error) when there is no memory or event for it. WriteFile and ReadFile set the
// event to not signalled as they start.
Transfer* newTransfer(WindowsDevice& device, std::uint32_t length, Error* error) {
    if (device.spare != nullptr && device.spare->capacity >= length) {
        Transfer* transfer = device.spare;
        device.spare = nullptr;
        const HANDLE event = transfer->overlapped.hEvent;
        transfer->overlapped = OVERLAPPED{};
        transfer->overlapped.hEvent = event;
        std::memset(transfer->bytes, 0, transfer->capacity);
        return transfer;
    }
    auto* transfer = new (std::nothrow) Transfer{};
    std::uint8_t* bytes = new (std::nothrow) std::uint8_t[length == 0 ? 1 : length]{};
    if (transfer == nullptr || bytes == nullptr) {
        delete transfer;
        delete[] bytes;
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    transfer->bytes = bytes;
    transfer->capacity = length == 0 ? 1 : length;
    transfer->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (transfer->overlapped.hEvent == nullptr) {
        *error = failureError();
        delete[] bytes;
        delete transfer;
        return nullptr;
    }
    return transfer;
}

enum class Outcome { completed, failed, givenUp };

void destroy(Transfer* transfer) {
    CloseHandle(transfer->overlapped.hEvent);
    delete[] transfer->bytes;
    delete transfer;
}

// Hands back a transfer that the platform is done with: kept as the device's spare, or freed. One
// given up is left as it is, for good: the platform may still complete it at any later time (when
// the device goes, say), and would then write into freed memory and set an event handle that by
// then names another object.
void release(WindowsDevice& device, Transfer* transfer, Outcome outcome) {
    if (outcome == Outcome::givenUp) return;
    if (device.spare == nullptr) {
        device.spare = transfer;
    } else {
        destroy(transfer);
    }
}

// Waits for an overlapped transfer to complete, at most timeoutMs, letting the windows' paint and
// sent messages through meanwhile. On a time-out the request is cancelled and the cancel's end
// awaited the same way, at most kCancelBoundMs; a request that has still not ended then (a driver
// that neither completes it nor lets it be cancelled) is given up with ERROR_TIMEOUT.
Outcome awaitTransfer(HANDLE device, OVERLAPPED* overlapped, std::uint32_t timeoutMs,
                      DWORD* transferred, Error* error) {
    if (waitLettingMessagesThrough(overlapped->hEvent, timeoutMs)) {
        if (GetOverlappedResult(device, overlapped, transferred, FALSE)) return Outcome::completed;
        fail(failureError(), error);
        return Outcome::failed;
    }
    CancelIoEx(device, overlapped);
    if (!waitLettingMessagesThrough(overlapped->hEvent, kCancelBoundMs)) {
        fail(ERROR_TIMEOUT, error);
        return Outcome::givenUp;
    }
    // A transfer that completed just as the time ran out has done its work: a read's report
    // would be lost if it were called a failure.
    if (GetOverlappedResult(device, overlapped, transferred, FALSE)) return Outcome::completed;
    const DWORD cause = GetLastError();
    fail(cause == ERROR_OPERATION_ABORTED || cause == ERROR_SUCCESS ? ERROR_TIMEOUT : cause, error);
    return Outcome::failed;
}

// Runs one transfer; *transferred receives the platform's count of bytes moved. start issues the
// write or read on the transfer and returns its BOOL.
template <typename Start>
Outcome run(WindowsDevice& device, Transfer* transfer, std::uint32_t timeoutMs, DWORD* transferred,
            Error* error, Start start) {
    *transferred = 0;
    // A request that completes at once signals the event too; one that is pending says so with
    // ERROR_IO_PENDING; any other error is the request's refusal.
    if (!start(device.handle, transfer) && GetLastError() != ERROR_IO_PENDING) {
        fail(failureError(), error);
        return Outcome::failed;
    }
    return awaitTransfer(device.handle, &transfer->overlapped, timeoutMs, transferred, error);
}

// Issues the read ahead of a HID device whose input length is known; none when it cannot be
// issued (a device gone fails its reads at once): the next flush takes the slow way, and the
// next read issues its own.
void startReadAhead(WindowsDevice& device) {
    if (device.readAhead != nullptr || device.inputReportLength == 0) return;
    Error error = 0;
    Transfer* transfer = newTransfer(device, device.inputReportLength, &error);
    if (transfer == nullptr) return;
    if (!ReadFile(device.handle, transfer->bytes, device.inputReportLength, nullptr,
                  &transfer->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        release(device, transfer, Outcome::failed);
        return;
    }
    device.readAhead = transfer;
}

// Takes the read ahead off the device: *transfer is the read, to be awaited and released by the
// caller, or null when there was none.
Transfer* takeReadAhead(WindowsDevice& device) {
    Transfer* transfer = device.readAhead;
    device.readAhead = nullptr;
    return transfer;
}

// Ends a read ahead that is no longer wanted: cancelled unless it has completed. It ends while a
// device is closed, where no message may be let through (a handler could use the session being
// closed), so its end is awaited without them and for one message interval at most; a read that
// has not ended by then is left for good, as one given up.
void endReadAhead(WindowsDevice& device, Transfer* transfer) {
    const HANDLE ended = transfer->overlapped.hEvent;
    if (WaitForSingleObject(ended, 0) != WAIT_OBJECT_0) {
        CancelIoEx(device.handle, &transfer->overlapped);
        if (WaitForSingleObject(ended, kMessageIntervalMs) != WAIT_OBJECT_0) return;
    }
    release(device, transfer, Outcome::completed);
}

}  // namespace

WindowsDevice::~WindowsDevice() {
    if (Transfer* transfer = takeReadAhead(*this)) endReadAhead(*this, transfer);
    if (spare != nullptr) destroy(spare);
    CloseHandle(handle);
}

bool WindowsBackend::enumerate(std::uint16_t vendorId, std::uint16_t productId,
                               std::vector<DeviceInfo>* devices, Error* error) {
    devices->clear();
    const HidLibrary* library = hidLibrary();
    if (library == nullptr) return fail(hidLibraryError(), error);
    GUID hidClass;
    library->getHidGuid(&hidClass);
    const HDEVINFO set =
        SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return fail(failureError(), error);
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &interfaceData); ++index) {
        // An interface that cannot be read is passed over: it may be going away right now.
        std::wstring path;
        if (!interfacePath(set, &interfaceData, &path)) continue;
        // A device whose path names another vendor is passed over unopened. Opening every HID
        // device (keyboards and mice among them) to ask for its IDs is what the enumeration
        // spends its time on, and it is done before the window first appears.
        const int namedVendor = vendorIdInHidPath(path);
        if (namedVendor >= 0 && namedVendor != vendorId) continue;
        DeviceInfo info;
        if (!describeInterface(*library, path, &info) || !wanted(info, vendorId, productId) ||
            !toUtf8(path, &info.path)) {
            continue;
        }
        devices->push_back(std::move(info));
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

namespace {

// Opens path for reading and writing, overlapped, with shareMode.
OpenDevice openWithShareMode(const std::string& path, DWORD shareMode, Error* error) {
    if (path.find('\0') != std::string::npos) {
        *error = ERROR_INVALID_NAME;  // the name would end early and name another file
        return nullptr;
    }
    std::wstring widePath;
    if (!toWide(path, &widePath)) {
        *error = failureError();
        return nullptr;
    }
    // Overlapped, so that every write and read can be given up after the caller's time-out.
    const HANDLE handle =
        CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, shareMode, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = failureError();
        return nullptr;
    }
    DeviceInfo lengths;
    if (const HidLibrary* library = hidLibrary()) readReportLengths(*library, handle, &lengths);
    return std::make_unique<WindowsDevice>(handle, lengths.inputReportLength);
}

// Reports are taken at most this often by one flush: the HID class driver keeps 32 by default and
// at most 512, so more means a device that never stops sending, and the flush ends rather than
// chase it.
constexpr int kMaxFlushedReports = 512;

// Takes one input report if the driver holds one, without waiting for one to arrive: a read that
// has not completed at once is cancelled. Completed when a report was taken; given up when the
// read could be neither completed nor cancelled (a read is then left pending).
Outcome takeQueuedReport(WindowsDevice& device) {
    Error error = 0;
    Transfer* transfer = newTransfer(device, device.inputReportLength, &error);
    if (transfer == nullptr) return Outcome::failed;
    DWORD read = 0;
    const Outcome outcome =
        run(device, transfer, 0, &read, &error, [&](HANDLE handle, Transfer* t) {
            return ReadFile(handle, t->bytes, device.inputReportLength, nullptr, &t->overlapped);
        });
    release(device, transfer, outcome);
    return outcome;
}

}  // namespace

// Shared for reading and writing with other programs: a unit that another program has open is
// still found and identified.
OpenDevice WindowsBackend::open(const std::string& path, Error* error) {
    return openWithShareMode(path, FILE_SHARE_READ | FILE_SHARE_WRITE, error);
}

// Shared for reading only: the open fails with ERROR_SHARING_VIOLATION while any other handle
// with write access is open, this program's shared one included, which is therefore closed
// first; and no handle with write access can be opened while this one is.
OpenDevice WindowsBackend::reopenAlone(OpenDevice device, const std::string& path, Error* error) {
    device.reset();
    return openWithShareMode(path, FILE_SHARE_READ, error);
}

bool WindowsBackend::isInUse(Error error) const { return error == ERROR_SHARING_VIOLATION; }

HANDLE windowsHandle(const Device& device) {
    return static_cast<const WindowsDevice&>(device).handle;
}

// While the read ahead is still waiting, no input report has come since it was issued (the class
// driver hands a report to a waiting read before it queues one), and there is nothing to drop:
// the flush costs no request to the driver. Otherwise a report came unasked (or the read
// failed), and the queue is emptied the slow way.
//
// HidD_FlushQueue does not tell whether it dropped anything (and Wine's HID class driver does not
// know it), so the reports are first taken one by one with reads that must complete at once. A
// read left pending counts as a report dropped: what the queue holds is then unknown. Then the
// read ahead is issued again.
bool WindowsBackend::flushInput(Device& opened) {
    WindowsDevice& device = windowsDevice(opened);
    bool took = false;
    if (Transfer* ahead = takeReadAhead(device)) {
        if (WaitForSingleObject(ahead->overlapped.hEvent, 0) == WAIT_TIMEOUT) {
            device.readAhead = ahead;
            return false;
        }
        DWORD read = 0;
        took = GetOverlappedResult(device.handle, &ahead->overlapped, &read, FALSE) != FALSE;
        release(device, ahead, Outcome::completed);
    }
    for (int i = 0; device.inputReportLength != 0 && i < kMaxFlushedReports; ++i) {
        const Outcome outcome = takeQueuedReport(device);
        if (outcome == Outcome::failed) break;
        took = true;
        if (outcome == Outcome::givenUp) break;
    }
    // Synchronous, without a bound: the HID class driver empties its own queue, not the device's.
    // Its failure is not reported: the request goes out whether or not the queue could be dropped.
    const HidLibrary* library = hidLibrary();
    if (library != nullptr) library->flushQueue(device.handle);
    startReadAhead(device);
    return took;
}

// The count that a write reports is not judged: the HID class driver of Wine 8.0 reports one
// byte less than the report it has handed on whole (the report-ID byte). The report goes out from
// the transfer's own copy, which outlives a write that is given up.
bool WindowsBackend::writeReport(Device& opened, const std::uint8_t* report, std::uint32_t length,
                                 std::uint32_t timeoutMs, Error* error) {
    WindowsDevice& device = windowsDevice(opened);
    Transfer* transfer = newTransfer(device, length, error);
    if (transfer == nullptr) return false;
    std::memcpy(transfer->bytes, report, length);
    DWORD written = 0;
    const Outcome outcome =
        run(device, transfer, timeoutMs, &written, error, [&](HANDLE handle, Transfer* t) {
            return WriteFile(handle, t->bytes, length, nullptr, &t->overlapped);
        });
    release(device, transfer, outcome);
    return outcome == Outcome::completed;
}

// The report is read into the transfer's own buffer and copied out once the read has completed:
// a read that is given up may still write into its buffer later.
// The read ahead, issued before the request, is the reply's read when it has the report's length;
// once the reply is in, the next read ahead is issued for whatever comes after it.
bool WindowsBackend::readReport(Device& opened, std::uint8_t* report, std::uint32_t length,
                                std::uint32_t timeoutMs, Error* error) {
    WindowsDevice& device = windowsDevice(opened);
    Transfer* transfer = takeReadAhead(device);
    DWORD read = 0;
    Outcome outcome;
    if (transfer != nullptr && length == device.inputReportLength) {
        outcome = awaitTransfer(device.handle, &transfer->overlapped, timeoutMs, &read, error);
    } else {
        // Not the report's length: the read ahead must not take the reply.
        if (transfer != nullptr) endReadAhead(device, transfer);
        transfer = newTransfer(device, length, error);
        if (transfer == nullptr) return false;
        outcome = run(device, transfer, timeoutMs, &read, error, [&](HANDLE handle, Transfer* t) {
            return ReadFile(handle, t->bytes, length, nullptr, &t->overlapped);
        });
    }
    if (outcome == Outcome::completed) {
        std::memcpy(report, transfer->bytes, std::min<DWORD>(read, length));
        startReadAhead(device);  // on the spare, which the write left; this read becomes it
    }
    release(device, transfer, outcome);
    if (outcome != Outcome::completed) return false;
    if (read != length) return fail(kWrongLengthError, error);
    return true;
}

}  // namespace hid
