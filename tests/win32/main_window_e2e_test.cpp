// The program's main window under Wine, driven from outside: terval-updater.exe with no
// programming unit (only Wine's own HID devices), in the language that LC_ALL selects; and the
// window with a simulated unit (ready-window): a screenshot of its open view, and its close.
//
//   main-window-e2e-tests --expect=de|en [--program=PATH] [gtest flags]
//
// --program names another build of the program to drive (a path of the host), such as a signed
// release; without it, the terval-updater.exe of this build.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "ui/resource_ids.h"
#include "e2e_language.h"
#include "ready_window.h"
#include "ui_driver.h"

namespace {

constexpr int kPanelControls[] = {kRow1Version, kRow2Version, kRow3Version,
                                  kRow1Caption, kRow2Caption, kRow3Caption};

std::string& programFile() {
    static std::string file = UPDATER_PROGRAM_FILE;
    return file;
}

// The program, started for one test and ended by it.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(driver::start(driver::wineHostPath(programFile()), &program))
            << "the main window did not appear";
        window = program.mainWindow;
    }
    void TearDown() override {
        if (program.process.hProcess != nullptr) driver::waitForExit(&program, 0);
    }

    driver::Program program;
    HWND window = nullptr;
};

TEST_F(ProgramTest, ShowsTheNoUnitState) {
    // The Close button's text tells which language the dialog came in.
    EXPECT_EQ(driver::controlText(window, kCloseButton),
              expectedLanguage() == Language::german ? L"Beenden" : L"Close");
    EXPECT_EQ(driver::windowText(window),
              L"BELMARODA TERVAL 160 LX FW Updater 1.0 Bootloaderupdater");
    EXPECT_EQ(driver::controlText(window, kRow1Caption), catalogue(kTextRow1Caption));
    EXPECT_EQ(driver::controlText(window, kRow2Caption), catalogue(kTextRow2Caption));
    EXPECT_EQ(driver::controlText(window, kRow3Caption), catalogue(kTextRow3Caption));
    EXPECT_EQ(driver::controlText(window, kRow1Version), L"0.0.0");
    EXPECT_EQ(driver::controlText(window, kRow2Version), L"0.0.0");
    EXPECT_EQ(driver::controlText(window, kRow3Version), L"0.0.0");
    for (int control : kPanelControls) {
        EXPECT_FALSE(driver::isControlEnabled(window, control)) << "control " << control;
    }
    EXPECT_FALSE(driver::isControlEnabled(window, kUpdateButton));
    EXPECT_EQ(driver::controlText(window, kHintBox),
              catalogue(kTextNoUnit) + L"\r\n\r\n" + catalogue(kTextInstructions));

    ASSERT_TRUE(driver::pressButton(window, kCloseButton));
    EXPECT_EQ(driver::waitForExit(&program), 0);
}

// Each way of closing the window ends the program as the Close button does: with its session
// with the unit closed and its registration for device notices given up. The window with a ready
// simulated unit tells in its exit code what the close left behind (ready_window.h).
enum class CloseBy { closeButton, escapeKey, closeBox };

class ClosingTheWindow : public ::testing::TestWithParam<CloseBy> {
protected:
    void TearDown() override {
        if (program.process.hProcess != nullptr) driver::waitForExit(&program, 0);
    }

    driver::Program program;
};

TEST_P(ClosingTheWindow, ClosesTheSessionAndGivesUpTheNotices) {
    ASSERT_TRUE(driver::start(driver::wineHostPath(READY_WINDOW_FILE), &program));
    const HWND window = program.mainWindow;
    ASSERT_TRUE(driver::waitForControlEnabled(window, kUpdateButton, true))
        << "the unit was not found ready: no session to close";
    switch (GetParam()) {
        case CloseBy::closeButton: driver::pressButton(window, kCloseButton); break;
        case CloseBy::escapeKey: driver::pressKey(window, VK_ESCAPE); break;
        case CloseBy::closeBox: driver::pressCloseBox(window); break;
    }
    const int leftBehind = driver::waitForExit(&program);
    EXPECT_EQ(leftBehind & ready_window::kSessionLeftOpen, 0) << "the session is still open";
    EXPECT_EQ(leftBehind & ready_window::kNoticesLeftRegistered, 0)
        << "the device notices are still registered";
    EXPECT_EQ(leftBehind, 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ways, ClosingTheWindow,
                         ::testing::Values(CloseBy::closeButton, CloseBy::escapeKey,
                                           CloseBy::closeBox),
                         [](const auto& info) {
                             switch (info.param) {
                             case CloseBy::closeButton: return "CloseButton";
                             case CloseBy::escapeKey: return "EscapeKey";
                             default: return "CloseBox";
                             }
                         });
// clang-format on

// Without hid.dll there is no HID class to register for: the program shows its error box before
// its window appears, and ends when the box is closed. Run with hid.dll disabled
// (WINEDLLOVERRIDES, which Wine reads from the Unix environment that the program inherits).
TEST(RegistrationFailure, ShowsTheErrorBoxAndEndsWithExitCode0) {
    driver::Program program;
    ASSERT_TRUE(driver::launch(driver::wineHostPath(programFile()), &program));
    const HWND box = driver::findMessageBox(program.process.dwProcessId,
                                            catalogue(kTextApplicationErrorCaption));
    if (box == nullptr) driver::waitForExit(&program, 0);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::messageBoxText(box), catalogue(kTextRegistrationFailed));
    EXPECT_EQ(GetWindowLongPtrW(box, GWL_STYLE) & WS_VISIBLE, WS_VISIBLE);
    driver::answerMessageBox(box, IDOK);
    EXPECT_EQ(driver::waitForExit(&program), 0);
}

// A 24-bit bottom-up BMP as the driver saves it.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;

    COLORREF at(int x, int y) const {
        const int stride = (width * 3 + 3) & ~3;
        const unsigned char* p =
            &pixels[static_cast<std::size_t>((height - 1 - y) * stride + x * 3)];
        return RGB(p[2], p[1], p[0]);
    }
};

bool readScreenshot(const std::wstring& fileName, Screenshot* shot) {
    HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<unsigned char> data(GetFileSize(file, nullptr));
    DWORD read = 0;
    const bool ok = ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr) &&
                    read == data.size();
    CloseHandle(file);
    if (!ok || data.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return false;
    BITMAPFILEHEADER fileHeader;
    BITMAPINFOHEADER header;
    std::memcpy(&fileHeader, data.data(), sizeof fileHeader);
    std::memcpy(&header, data.data() + sizeof fileHeader, sizeof header);
    if (header.biBitCount != 24 || header.biHeight <= 0) return false;
    shot->width = header.biWidth;
    shot->height = header.biHeight;
    shot->pixels.assign(data.begin() + fileHeader.bfOffBits, data.end());
    const int stride = (shot->width * 3 + 3) & ~3;
    return shot->pixels.size() >= static_cast<std::size_t>(stride) * shot->height;
}

// A control's outer rectangle in the screenshot's coordinates.
RECT placeInWindow(HWND window, HWND control) {
    RECT windowRect{};
    RECT rect{};
    GetWindowRect(window, &windowRect);
    GetWindowRect(control, &rect);
    OffsetRect(&rect, -windowRect.left, -windowRect.top);
    return rect;
}

template <typename Count>
int countPixels(const Screenshot& shot, RECT area, Count count) {
    int found = 0;
    for (int y = std::max(0L, area.top); y < std::min<LONG>(shot.height, area.bottom); ++y) {
        for (int x = std::max(0L, area.left); x < std::min<LONG>(shot.width, area.right); ++x) {
            if (count(shot.at(x, y))) ++found;
        }
    }
    return found;
}

bool isKeyGreen(COLORREF c) { return c == RGB(0, 255, 0); }
// Red text, antialiased or not: strongly red, little green or blue.
bool isRedInk(COLORREF c) {
    return GetRValue(c) >= 160 && GetGValue(c) <= 90 && GetBValue(c) <= 90;
}

TEST(Screenshot, LogoBesideThePanelNoKeyGreenControllerRowRed) {
    driver::Program program;
    ASSERT_TRUE(driver::start(driver::wineHostPath(READY_WINDOW_FILE), &program));
    HWND window = program.mainWindow;
    ASSERT_TRUE(driver::waitForControlEnabled(window, kUpdateButton, true));
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    Sleep(500);  // let the repaint reach the screen

    const std::wstring fileName = driver::wineHostPath(ARTIFACT_DIR "/main-window.bmp");
    ASSERT_TRUE(driver::saveScreenshot(window, fileName));
    Screenshot shot;
    ASSERT_TRUE(readScreenshot(fileName, &shot));

    const COLORREF background = GetSysColor(COLOR_BTNFACE);
    const RECT group = placeInWindow(window, GetDlgItem(window, kVersionGroupBox));
    const RECT logoArea{group.right + 20, group.top, shot.width - 45, group.bottom};
    const int area = (logoArea.right - logoArea.left) * (logoArea.bottom - logoArea.top);
    const int drawn = countPixels(shot, logoArea, [&](COLORREF c) { return c != background; });
    EXPECT_GT(drawn, area / 10) << "the logo is not drawn beside the Version panel";

    const RECT whole{0, 0, shot.width, shot.height};
    EXPECT_EQ(countPixels(shot, whole, isKeyGreen), 0) << "key green shows in the window";

    for (int control : {kRow3Caption, kRow3Version}) {
        const RECT row3 = placeInWindow(window, GetDlgItem(window, control));
        EXPECT_GT(countPixels(shot, row3, isRedInk), 0) << "control " << control << " not red";
    }
    const RECT row1 = placeInWindow(window, GetDlgItem(window, kRow1Version));
    EXPECT_EQ(countPixels(shot, row1, isRedInk), 0) << "row 1 drawn red";

    driver::pressButton(window, kCloseButton);
    EXPECT_EQ(driver::waitForExit(&program), 0);
}

}  // namespace

int main(int argc, char** argv) {
    constexpr char kProgramFlag[] = "--program=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kProgramFlag, sizeof kProgramFlag - 1) == 0) {
            programFile() = argv[i] + sizeof kProgramFlag - 1;
        }
    }
    return runEndToEndTests(argc, argv);
}
