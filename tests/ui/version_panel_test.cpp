// The Version panel's labels from the identified unit.
#include "ui/version_panel.h"
#include "ui/ui_fixture.h"

namespace {

enum class Row { unit, bootloader, controller };

struct LabelCase {
    const char* name;
    Row row;
    std::uint32_t value;
    const wchar_t* label;
};

class VersionLabel : public UiTest, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(VersionLabel, ShowsTheWorkedValue) {
    const LabelCase& c = GetParam();
    sim::Device unit = sim::programmingUnit();
    switch (c.row) {
        case Row::unit: unit.unit.firmwareVersion = c.value; break;
        case Row::bootloader: unit.unit.esc.bootloaderVersion = c.value; break;
        case Row::controller:
            unit.unit.esc.firmwareVersion = static_cast<std::uint16_t>(c.value);
            break;
    }
    sim::plugIn(unit);
    ASSERT_EQ(openAppSession(), kSuccess);
    refreshVersionPanel();

    const int control = c.row == Row::unit         ? kRow1Version
                        : c.row == Row::bootloader ? kRow2Version
                                                   : kRow3Version;
    EXPECT_EQ(fake::controlText(control), c.label);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    WorkedValues, VersionLabel,
    ::testing::Values(LabelCase{"UnitLowestByteZeroShifts", Row::unit, 0x00010200, L"1.2"},
                      LabelCase{"UnitNotShifted", Row::unit, 0x00010203, L"2.3"},
                      LabelCase{"UnitLeadingNumber", Row::unit, 0x01020304, L"1.3.4"},
                      LabelCase{"BootloaderLeadingNumber", Row::bootloader, 0x01000203, L"1.2.3"},
                      LabelCase{"BootloaderTwoNumbers", Row::bootloader, 0x00000105, L"1.5"},
                      LabelCase{"BootloaderZero", Row::bootloader, 0x00000000, L"0.0"},
                      LabelCase{"BootloaderNeverShifted", Row::bootloader, 0x00000300, L"3.0"},
                      LabelCase{"ControllerOneZero", Row::controller, 0x0100, L"1.0"},
                      LabelCase{"ControllerDecimal", Row::controller, 0x0A05, L"10.5"},
                      LabelCase{"ControllerNoFirmware", Row::controller, 0xFFFF, L"----------"},
                      LabelCase{"UnitLargestLabel", Row::unit, 0xFFFFFFFF, L"255.255.255"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(UiTest, AfterAnUpdateTheControllerRowReadsTheNewVersion) {
    sim::plugIn(sim::programmingUnit());
    ASSERT_EQ(openAppSession(), kSuccess);
    refreshVersionPanel();
    appUnitView().escFirmwareVersion = 0x0100;
    refreshVersionPanel();
    EXPECT_EQ(fake::controlText(kRow3Version), L"1.0");
    EXPECT_TRUE(fake::isEnabled(kRow3Version));
}

}  // namespace
