// The main window's texts, its registration-failure notice and the logo's place and size.
#include "ui/main_window.h"
#include "ui/ui_fixture.h"

namespace {

TEST(WindowTitle, IsTheFinishedTitle) {
    wchar_t title[kTitleBufferSize];
    const std::wstring expected = L"BELMARODA TERVAL 160 LX FW Updater 1.0 Bootloaderupdater";
    EXPECT_EQ(buildProgramTitle(title, kTitleBufferSize), static_cast<int>(expected.size()));
    EXPECT_EQ(std::wstring(title), expected);
}

struct TextsCase {
    const char* name;
    Language language;
    const wchar_t* row1;
    const wchar_t* row2;
    const wchar_t* row3;
};

class WindowTexts : public UiTest, public ::testing::WithParamInterface<TextsCase> {};

TEST_P(WindowTexts, ReplaceTheTemplates) {
    const TextsCase& c = GetParam();
    fake::reset(c.language);
    showWindowTexts();
    EXPECT_EQ(fake::state().title, L"BELMARODA TERVAL 160 LX FW Updater 1.0 Bootloaderupdater");
    EXPECT_EQ(fake::controlText(kRow1Caption), c.row1);
    EXPECT_EQ(fake::controlText(kRow2Caption), c.row2);
    EXPECT_EQ(fake::controlText(kRow3Caption), c.row3);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Languages, WindowTexts,
    ::testing::Values(
        TextsCase{"English", Language::english, L"programming unit", L"ESC-bootloader", L"ESC"},
        TextsCase{"German", Language::german, L"Programmiereinheit", L"Regler-Bootloader",
                  L"Regler"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(UiTest, RegistrationFailureShowsTheErrorBox) {
    reportRegistrationFailure();
    ASSERT_EQ(fake::state().boxes.size(), 1u);
    EXPECT_EQ(fake::state().boxes[0].caption, fake::text(kTextApplicationErrorCaption));
    EXPECT_EQ(fake::state().boxes[0].text, fake::text(kTextRegistrationFailed));
    EXPECT_EQ(fake::state().boxes[0].box, window::Box::error);
}

// The logo bitmap is 1772 x 263. The window's outer rectangle starts at (100, 50); its frame is
// 3 pixels wide and its caption 19 high; the group box's outer right edge is at 370, its top at
// 92. So the logo starts at (370 - 103 + 20, 92 - 69).
struct LogoCase {
    const char* name;
    int windowRight;
    int width;
    int height;
};

class LogoSize : public ::testing::TestWithParam<LogoCase> {};

TEST_P(LogoSize, FitsTheRoomBesideTheVersionPanel) {
    const LogoCase& c = GetParam();
    const window::Rect windowRect{100, 50, c.windowRight, 500};
    const window::Rect groupRect{126, 92, 370, 190};
    const LogoPlacement placement = placeLogo(1772, 263, windowRect, groupRect, 3, 19);
    EXPECT_EQ(placement.x, 287);
    EXPECT_EQ(placement.y, 23);
    EXPECT_EQ(placement.width, c.width);
    EXPECT_EQ(placement.height, c.height);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rooms, LogoSize,
    ::testing::Values(LogoCase{"Room886", 370 + 45 + 886, 886, 131},
                      LogoCase{"RoomBeyondHalfTheBitmap", 370 + 45 + 1500, 886, 131},
                      LogoCase{"Room885", 370 + 45 + 885, 885, 131},
                      LogoCase{"Room183", 370 + 45 + 183, 183, 27},
                      LogoCase{"NoRoom", 370 + 45, 0, 0},
                      LogoCase{"LessThanNoRoom", 370 + 10, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
