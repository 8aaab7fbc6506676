// The plugged virtual unit's HID interface as SetupAPI lists it, for the tools beside the unit
// that find it with plain Win32 calls.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cwchar>
#include <string>

// GUID_DEVINTERFACE_HID
const GUID kHidInterface = {
    0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The path of the first HID interface with the unit's vendor ID; empty when none is listed.
inline std::wstring virtualUnitInterfacePath() {
    const HDEVINFO set = SetupDiGetClassDevsW(&kHidInterface, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return L"";
    std::wstring found;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0;
         found.empty() && SetupDiEnumDeviceInterfaces(set, nullptr, &kHidInterface, i, &data);
         ++i) {
        union {
            SP_DEVICE_INTERFACE_DETAIL_DATA_W detail;
            wchar_t space[1024];
        } buffer{};
        buffer.detail.cbSize = sizeof buffer.detail;
        if (!SetupDiGetDeviceInterfaceDetailW(set, &data, &buffer.detail, sizeof buffer, nullptr,
                                              nullptr)) {
            continue;
        }
        const std::wstring path = buffer.detail.DevicePath;
        _wcslwr(buffer.detail.DevicePath);
        if (std::wcsstr(buffer.detail.DevicePath, L"vid_5ea7") != nullptr) found = path;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}
