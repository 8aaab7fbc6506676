// The UI driver and the demo's bench, worked against the stand-in updater under Wine: what the
// end-to-end tests of the updater rely on, tested apart from the updater.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stand_in_updater.h"
#include "ui_driver.h"
#include "win32/bench_window.h"

namespace {

// The bench's unit as Windows names it in a notice: the enumeration's path in upper case.
const std::wstring kLinkCubeNoticePath =
    L"\\\\?\\HID#VID_5EA7&PID_0002#7&UNIT&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030}";
const std::wstring kLinkwaveNoticePath =
    L"\\\\?\\HID#VID_5EA7&PID_0001#7&UNIT&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030}";

class StandIn : public ::testing::Test {
protected:
    void TearDown() override {
        if (program.process.hProcess == nullptr) return;
        driver::pressButton(program.mainWindow, IDCANCEL);
        EXPECT_EQ(driver::waitForExit(&program), 0);
    }

    void startStandIn(const std::vector<std::wstring>& environment = {}) {
        ASSERT_TRUE(driver::start(driver::wineHostPath(STAND_IN_EXE), &program,
                                  driver::kDefaultTimeoutMs, environment));
        bench = driver::findBench(processId());
        ASSERT_NE(bench, nullptr);
    }

    DWORD processId() const { return program.process.dwProcessId; }
    std::wstring hint() const { return driver::controlText(program.mainWindow, kStandInHintBox); }

    driver::Program program;
    HWND bench = nullptr;
};

TEST_F(StandIn, StartsWithTheBenchsUnitPluggedIn) {
    startStandIn();
    EXPECT_EQ(driver::windowText(program.mainWindow), kStandInTitle);
    EXPECT_EQ(hint(), L"unit found");
    EXPECT_TRUE(driver::isControlEnabled(program.mainWindow, kStandInAskButton));
    EXPECT_FALSE(driver::isControlEnabled(bench, kBenchPlugInButton));
    EXPECT_TRUE(driver::isControlEnabled(bench, kBenchUnplugButton));
    EXPECT_FALSE(driver::benchChoose(bench, kBenchProductList, 1)) << "fixed while plugged in";
}

TEST_F(StandIn, StartsAsUpdaterSimBenchSays) {
    startStandIn({L"UPDATER_SIM_BENCH=linkwave unplugged"});
    EXPECT_EQ(hint(), L"no unit");
    ASSERT_TRUE(driver::benchPlugIn(bench));
    EXPECT_TRUE(driver::waitForControlText(program.mainWindow, kStandInNoticeText,
                                           L"0x8000 5 HID " + kLinkwaveNoticePath));
}

enum class CloseWay { button, escape, closeBox };

class ClosingTheStandIn : public StandIn, public ::testing::WithParamInterface<CloseWay> {};

TEST_P(ClosingTheStandIn, EndsIt) {
    startStandIn();
    switch (GetParam()) {
        case CloseWay::button:
            ASSERT_TRUE(driver::pressButton(program.mainWindow, IDCANCEL));
            break;
        case CloseWay::escape: driver::pressKey(program.mainWindow, VK_ESCAPE); break;
        case CloseWay::closeBox: driver::pressCloseBox(program.mainWindow); break;
    }
    EXPECT_EQ(driver::waitForExit(&program), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ways, ClosingTheStandIn,
                         ::testing::Values(CloseWay::button, CloseWay::escape, CloseWay::closeBox));
// clang-format on

TEST_F(StandIn, MessageBoxIsFoundReadAndAnswered) {
    startStandIn();
    ASSERT_TRUE(driver::pressButton(program.mainWindow, kStandInAskButton));
    HWND box = driver::findMessageBox(processId(), kStandInBoxCaption);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::messageBoxText(box), kStandInBoxText);
    driver::answerMessageBox(box, IDCANCEL);
    EXPECT_TRUE(driver::waitForWindowGone(box));
    EXPECT_TRUE(driver::waitForControlText(program.mainWindow, kStandInHintBox, L"answered 2"));
}

TEST_F(StandIn, MissingThingsAreReportedAfterTheirTimeOut) {
    startStandIn();
    EXPECT_EQ(driver::findMessageBox(processId(), L"No such box", 300), nullptr);
    EXPECT_EQ(driver::findWindow(processId(), L"msctls_progress32", L"", 300), nullptr);
    EXPECT_FALSE(driver::waitForControlText(program.mainWindow, kStandInHintBox, L"x", 300));
    EXPECT_FALSE(driver::pressButton(program.mainWindow, 4711));
}

TEST_F(StandIn, BenchDeliversRemovalAndArrivalAsWindowsDoes) {
    startStandIn();
    ASSERT_TRUE(driver::benchUnplug(bench));
    EXPECT_TRUE(driver::waitForControlText(program.mainWindow, kStandInNoticeText,
                                           L"0x8004 5 HID " + kLinkCubeNoticePath));
    EXPECT_TRUE(driver::waitForControlText(program.mainWindow, kStandInHintBox, L"unit removed"));

    ASSERT_TRUE(driver::benchChoose(bench, kBenchProductList, 1));
    ASSERT_TRUE(driver::benchPlugIn(bench));
    EXPECT_TRUE(driver::waitForControlText(program.mainWindow, kStandInNoticeText,
                                           L"0x8000 5 HID " + kLinkwaveNoticePath));
    EXPECT_TRUE(driver::waitForControlText(program.mainWindow, kStandInHintBox, L"unit found"));
}

// The updater's thread blocks during exchanges and updates; the bench must not, and the notice of
// a unit pulled meanwhile is held until that thread looks at its messages again.
TEST_F(StandIn, BenchWorksWhileTheProgramIsBusyAndTheNoticeWaits) {
    startStandIn();
    ASSERT_TRUE(driver::pressButton(program.mainWindow, kStandInBusyButton));
    DWORD_PTR ignored = 0;
    const ULONGLONG deadline = GetTickCount64() + driver::kDefaultTimeoutMs;
    while (SendMessageTimeoutW(program.mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 100, &ignored)) {
        ASSERT_LT(GetTickCount64(), deadline) << "the press was not handled";
        Sleep(10);  // until the press is being handled
    }
    const ULONGLONG pulled = GetTickCount64();
    ASSERT_TRUE(driver::benchUnplug(bench, kStandInBusyMs / 2));
    EXPECT_LT(GetTickCount64() - pulled, kStandInBusyMs / 2);
    // "done" comes first, then the held removal.
    EXPECT_TRUE(driver::waitForControlText(program.mainWindow, kStandInHintBox, L"unit removed"));
}

TEST_F(StandIn, ScreenshotIsA24BitBitmapOfTheWindow) {
    startStandIn();
    const std::wstring fileName = driver::wineHostPath(ARTIFACT_DIR "/stand-in.bmp");
    ASSERT_TRUE(driver::saveScreenshot(program.mainWindow, fileName));
    ASSERT_TRUE(driver::saveScreenshot(bench, driver::wineHostPath(ARTIFACT_DIR "/bench.bmp")));

    HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BITMAPFILEHEADER fileHeader{};
    BITMAPINFOHEADER header{};
    DWORD read = 0;
    ReadFile(file, &fileHeader, sizeof fileHeader, &read, nullptr);
    ReadFile(file, &header, sizeof header, &read, nullptr);
    const DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);

    RECT rect{};
    GetWindowRect(program.mainWindow, &rect);
    EXPECT_EQ(fileHeader.bfType, 0x4D42);
    EXPECT_EQ(fileHeader.bfSize, size);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biWidth, rect.right - rect.left);
    EXPECT_EQ(header.biHeight, rect.bottom - rect.top);
}

TEST_F(StandIn, TranscriptIsWrittenWhenTheProgramEnds) {
    const std::wstring fileName = driver::wineHostPath(ARTIFACT_DIR "/stand-in-transcript.txt");
    DeleteFileW(fileName.c_str());
    startStandIn({L"UPDATER_SIM_TRANSCRIPT=" + fileName});
    ASSERT_TRUE(driver::pressButton(program.mainWindow, IDCANCEL));
    ASSERT_EQ(driver::waitForExit(&program), 0);

    HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char start[16] = {};
    DWORD read = 0;
    ReadFile(file, start, sizeof start - 1, &read, nullptr);
    CloseHandle(file);
    EXPECT_STREQ(start, "0 OUT 01 08 00 ");  // the start-up probe's status query
}

}  // namespace
