// The vendor ID read from a HID interface's path, by which the Windows enumeration passes over
// the devices of other vendors without opening them. A path read wrongly would either open every
// device again or, worse, pass over the unit; a path of an unknown form must be left to be opened.
#include "win32/hid_path.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* name;
    const wchar_t* path;
    int vendorId;  // -1: none named in the USB form, the device is to be opened
};

class HidPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(HidPath, NamesTheVendorOnlyInTheUsbForm) {
    EXPECT_EQ(vendorIdInHidPath(GetParam().path), GetParam().vendorId);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HidPath,
    ::testing::Values(
        PathCase{"Usb",
                 L"\\\\?\\hid#vid_04d8&pid_f2bf#7&1c2f1e2a&0&0000#{4d1e55b2-f16f-11cf-88cb-"
                 L"001111000030}",
                 0x04D8},
        PathCase{"UsbInCapitals",
                 L"\\\\?\\HID#VID_046D&PID_C52B&MI_01&Col01#8&2a3e&0&0000#{4d1e55b2-f16f-11cf-88cb-"
                 L"001111000030}",
                 0x046D},
        PathCase{"WinesOwn",
                 L"\\\\?\\hid#vid_845e&pid_0002#0&0000&0&0#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                 0x845E},
        PathCase{"Bluetooth",
                 L"\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&0002054c_pid&09cc#9&2d3f&"
                 L"0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                 -1},
        PathCase{"I2c",
                 L"\\\\?\\HID#VEN_ELAN&DEV_0732&Col01#5&1f0a&0&0000#{4d1e55b2-f16f-11cf-88cb-"
                 L"001111000030}",
                 -1},
        PathCase{"NotHexadecimal", L"\\\\?\\hid#vid_04g8&pid_f2bf#7&1c2f", -1},
        PathCase{"FiveDigits", L"\\\\?\\hid#vid_04d81&pid_f2bf#7&1c2f", -1},
        PathCase{"EndsAfterTheDigits", L"\\\\?\\hid#vid_04d8", -1}, PathCase{"Empty", L"", -1}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return info.param.name; });

}  // namespace
