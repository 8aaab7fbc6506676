// The real Windows HID operations, run under Wine. Wine presents HID devices of its own (a mouse
// and a keyboard, vendor 0x845E); none of them is a programming unit.
#include <gtest/gtest.h>

#include <windows.h>

#include "device/device_session.h"

namespace {

struct PresentDevice {
    std::uint16_t vendorId;
    std::uint16_t productId;
};

std::vector<PresentDevice> presentDevices() {
    std::vector<PresentDevice> found;
    hid::InterfaceList* list = hid::listInterfaces();
    if (list == nullptr) return found;
    for (std::uint32_t index = 0;; ++index) {
        hid::InterfaceDetail* detail = nullptr;
        const hid::InterfaceLookup lookup = hid::fetchInterfaceDetail(list, index, &detail);
        if (lookup == hid::InterfaceLookup::end) break;
        if (lookup == hid::InterfaceLookup::detailFailed) continue;
        const hid::Handle handle = hid::openDevice(hid::interfacePath(detail));
        PresentDevice device{};
        if (handle != hid::kInvalidHandle) {
            hid::readAttributes(handle, &device.vendorId, &device.productId);
            hid::closeDevice(handle);
        }
        found.push_back(device);
        hid::releaseInterfaceDetail(detail);
    }
    hid::releaseInterfaceList(list);
    return found;
}

TEST(WindowsHid, WineOwnDevicesArePresentAndAreNoProgrammingUnit) {
    const std::vector<PresentDevice> devices = presentDevices();
    ASSERT_GE(devices.size(), 2u) << "Wine's HID mouse and keyboard are expected";
    for (const PresentDevice& device : devices) {
        EXPECT_NE(device.vendorId, kUnitVendorId);
    }
}

TEST(WindowsHid, OpenSessionSkipsOtherDevicesAndFindsNoUnit) {
    DeviceSession session;
    EXPECT_EQ(openSession(session), kNoUnitPresent);
    EXPECT_EQ(session.handle, hid::kInvalidHandle);
    EXPECT_EQ(session.devicePath, nullptr);
    EXPECT_EQ(session.productId, 0);
}

TEST(WindowsHid, HidDllComesFromTheSystemFolder) {
    DeviceSession session;
    openSession(session);
    HMODULE module = GetModuleHandleW(L"hid.dll");
    ASSERT_NE(module, nullptr);
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(module, path, MAX_PATH), 0u);
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    EXPECT_EQ(_wcsnicmp(path, system, wcslen(system)), 0)
        << "hid.dll was loaded from outside the system folder";
}

}  // namespace
