// The HID operations on Windows: SetupAPI for the enumeration, hid.dll for attributes and
// capabilities, overlapped file I/O with a bounded wait for the reports.
#include <windows.h>
#include <setupapi.h>

#include <cstdlib>

#include "device/hid.h"
#include "win32/hid_library.h"
#include "win32/message_wait.h"
#include "win32/precise_wait_windows.h"

namespace hid {

struct InterfaceList {
    HDEVINFO set;
    GUID hidClass;
};

struct InterfaceDetail {
    SP_DEVICE_INTERFACE_DETAIL_DATA_W* data;
};

namespace {

HANDLE toWindows(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

// Waits for an overlapped write or read to complete, at most kReportTimeoutMs, letting the
// windows' paint and sent messages through meanwhile. On a time-out the request is cancelled and
// its completion awaited, so that the platform no longer touches the buffer or the OVERLAPPED
// once this returns; the last error is then ERROR_TIMEOUT.
bool completeIo(HANDLE device, BOOL started, OVERLAPPED* overlapped) {
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    DWORD transferred = 0;
    if (waitLettingMessagesThrough(overlapped->hEvent, kReportTimeoutMs)) {
        return GetOverlappedResult(device, overlapped, &transferred, FALSE) != FALSE;
    }
    CancelIoEx(device, overlapped);
    GetOverlappedResult(device, overlapped, &transferred, TRUE);
    SetLastError(ERROR_TIMEOUT);
    return false;
}

// One overlapped transfer with its own manual-reset event.
template <typename Start>
bool transfer(Handle handle, Start start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return false;
    const HANDLE device = toWindows(handle);
    const bool done = completeIo(device, start(device, &overlapped), &overlapped);
    // A pending transfer that completes leaves ERROR_IO_PENDING behind; a completed one leaves 0,
    // so that a later refusal is never reported with an error of this call. A failed one leaves
    // the failing call's error, not CloseHandle's.
    const DWORD error = done ? ERROR_SUCCESS : GetLastError();
    CloseHandle(overlapped.hEvent);
    SetLastError(error);
    return done;
}

}  // namespace

InterfaceList* listInterfaces() {
    const HidLibrary* library = hidLibrary();
    if (library == nullptr) return nullptr;
    GUID hidClass;
    library->getHidGuid(&hidClass);
    const HDEVINFO set = SetupDiGetClassDevsW(&hidClass, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return nullptr;
    return new InterfaceList{set, hidClass};
}

void releaseInterfaceList(InterfaceList* list) {
    SetupDiDestroyDeviceInfoList(list->set);
    delete list;
}

InterfaceLookup fetchInterfaceDetail(InterfaceList* list, std::uint32_t index,
                                     InterfaceDetail** detail) {
    *detail = nullptr;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    if (!SetupDiEnumDeviceInterfaces(list->set, nullptr, &list->hidClass, index, &interfaceData)) {
        return InterfaceLookup::end;
    }
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(list->set, &interfaceData, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return InterfaceLookup::detailFailed;
    auto* data = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::calloc(1, size));
    if (data == nullptr) return InterfaceLookup::detailFailed;
    data->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);  // the fixed part only
    if (!SetupDiGetDeviceInterfaceDetailW(list->set, &interfaceData, data, size, nullptr,
                                          nullptr)) {
        std::free(data);
        return InterfaceLookup::detailFailed;
    }
    *detail = new InterfaceDetail{data};
    return InterfaceLookup::found;
}

void releaseInterfaceDetail(InterfaceDetail* detail) {
    std::free(detail->data);
    delete detail;
}

const wchar_t* interfacePath(const InterfaceDetail* detail) { return detail->data->DevicePath; }

Handle openDevice(const wchar_t* path) {
    // Overlapped, so that every write and read can be given up after kReportTimeoutMs.
    const HANDLE device =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    return reinterpret_cast<Handle>(device);
}

void closeDevice(Handle handle) { CloseHandle(toWindows(handle)); }

void flushInput(Handle handle) {
    const HidLibrary* library = hidLibrary();
    if (library != nullptr) library->flushQueue(toWindows(handle));
}

bool readAttributes(Handle handle, std::uint16_t* vendorId, std::uint16_t* productId) {
    const HidLibrary* library = hidLibrary();
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (library == nullptr || !library->getAttributes(toWindows(handle), &attributes)) {
        return false;
    }
    *vendorId = attributes.VendorID;
    *productId = attributes.ProductID;
    return true;
}

bool readCapabilities(Handle handle, std::uint16_t* outputLength, std::uint16_t* inputLength) {
    const HidLibrary* library = hidLibrary();
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (library == nullptr || !library->getPreparsedData(toWindows(handle), &preparsed)) {
        return false;
    }
    HIDP_CAPS caps{};
    const NTSTATUS status = library->getCaps(preparsed, &caps);
    library->freePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) return false;
    *outputLength = caps.OutputReportByteLength;
    *inputLength = caps.InputReportByteLength;
    return true;
}

bool writeReport(Handle handle, const std::uint8_t* report, std::uint32_t length) {
    return transfer(handle, [&](HANDLE device, OVERLAPPED* overlapped) {
        return WriteFile(device, report, length, nullptr, overlapped);
    });
}

bool readReport(Handle handle, std::uint8_t* report, std::uint32_t length) {
    return transfer(handle, [&](HANDLE device, OVERLAPPED* overlapped) {
        return ReadFile(device, report, length, nullptr, overlapped);
    });
}

void pause(std::uint32_t ms) { preciseWait(ms); }

std::uint32_t lastError() { return GetLastError(); }

}  // namespace hid
