// The demo under Wine, driven from outside: the program with the simulated programming unit,
// started in each state by UPDATER_SIM_BENCH and worked through its bench window, in the language
// that LC_ALL selects.
//
//   demo-e2e-tests --expect=de|en [gtest flags]
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../firmware_input.h"
#include "device/device_session.h"
#include "device/session_log.h"
#include "flash/firmware_image.h"
#include "flash/update_procedure.h"
#include "sim/bench.h"
#include "sim/sim_hid.h"
#include "engine/catalogue.h"
#include "ui/resource_ids.h"
#include "e2e_language.h"
#include "ui_driver.h"
#include "win32/bench_window.h"

namespace {

const std::wstring kSeparator = L"\r\n\r\n";
constexpr int kPanelControls[] = {kRow1Version, kRow2Version, kRow3Version,
                                  kRow1Caption, kRow2Caption, kRow3Caption};

// A status as the Hint box shows it below every state but the ready one.
std::wstring statusWithInstructions(std::uint16_t id) {
    return catalogue(id) + kSeparator + catalogue(kTextInstructions);
}

std::wstring incompatibleNotice() {
    std::wstring text = catalogue(kTextIncompatibleNotice);
    const std::size_t at = text.find(L"%s");
    return at == std::wstring::npos ? text : text.replace(at, 2, L"TERVAL 160 LX");
}

std::wstring artifact(const std::string& name) {
    const char* language = expectedLanguage() == Language::german ? "de" : "en";
    return driver::wineHostPath(std::string(ARTIFACT_DIR) + "/" + name + "-" + language + ".bmp");
}

// The demo, started for one test with the bench set up by words of UPDATER_SIM_BENCH.
class Demo : public ::testing::Test {
protected:
    void TearDown() override {
        if (program.process.hProcess == nullptr) return;
        driver::pressButton(window, kCloseButton);
        EXPECT_EQ(driver::waitForExit(&program), 0);
    }

    // Starts the demo; its main window is not waited for (a notice box may come first).
    void launch(const std::wstring& benchWords, const std::vector<std::wstring>& environment = {}) {
        std::vector<std::wstring> all = environment;
        all.push_back(L"UPDATER_SIM_BENCH=" + benchWords);
        ASSERT_TRUE(driver::launch(driver::wineHostPath(demoFile), &program, all));
        bench = driver::findBench(processId());
        ASSERT_NE(bench, nullptr) << "the bench window did not appear";
    }

    void start(const std::wstring& benchWords, const std::vector<std::wstring>& environment = {}) {
        launch(benchWords, environment);
        ASSERT_TRUE(driver::waitForMainWindow(&program)) << "the main window did not appear";
        window = program.mainWindow;
    }

    // Answers the incompatible-controller notice, which names the model between its quotes.
    void answerIncompatibleNotice() {
        const HWND box = driver::findMessageBox(processId(), catalogue(kTextIncompatibleCaption));
        ASSERT_NE(box, nullptr) << "no incompatible-controller notice";
        const std::wstring text = driver::messageBoxText(box);
        EXPECT_NE(text.find(L"'TERVAL 160 LX'"), std::wstring::npos) << "the model's name";
        EXPECT_EQ(text, incompatibleNotice());
        driver::answerMessageBox(box, IDOK);
        EXPECT_TRUE(driver::waitForWindowGone(box));
    }

    void expectClosedView(const std::wstring& row1Caption) {
        EXPECT_FALSE(driver::isControlEnabled(window, kUpdateButton));
        EXPECT_EQ(driver::controlText(window, kRow1Caption), row1Caption);
        for (int label : {kRow1Version, kRow2Version, kRow3Version}) {
            EXPECT_EQ(driver::controlText(window, label), L"0.0.0") << "label " << label;
        }
        for (int control : kPanelControls) {
            EXPECT_FALSE(driver::isControlEnabled(window, control)) << "control " << control;
        }
    }

    // Presses Update and answers the warning before it with OK.
    void confirmUpdate() {
        ASSERT_TRUE(driver::pressButton(window, kUpdateButton));
        const HWND warning = driver::findMessageBox(processId(), catalogue(kTextWarningCaption));
        ASSERT_NE(warning, nullptr) << "no warning before the update";
        EXPECT_EQ(driver::messageBoxText(warning), catalogue(kTextWarning));
        driver::answerMessageBox(warning, IDOK);
    }

    DWORD processId() const { return program.process.dwProcessId; }
    std::wstring hint() const { return driver::controlText(window, kHintBox); }

    const char* demoFile = UPDATER_DEMO_FILE;
    driver::Program program;
    HWND window = nullptr;
    HWND bench = nullptr;
};

struct ReadyCase {
    const char* name;
    const wchar_t* benchWords;
    const wchar_t* product;
    const wchar_t* escVersion;
};

class ReadyDemo : public Demo, public ::testing::WithParamInterface<ReadyCase> {};

TEST_P(ReadyDemo, ShowsTheUnitAndOffersTheUpdate) {
    const ReadyCase& c = GetParam();
    start(c.benchWords);
    EXPECT_EQ(hint(), catalogue(kTextReady));
    EXPECT_TRUE(driver::isControlEnabled(window, kUpdateButton));
    EXPECT_EQ(driver::controlText(window, kRow1Caption), c.product);
    EXPECT_EQ(driver::controlText(window, kRow1Version), L"1.2");  // unit firmware 0x00010200
    EXPECT_EQ(driver::controlText(window, kRow2Version), L"1.5");  // bootloader 0x00000105
    EXPECT_EQ(driver::controlText(window, kRow3Version), c.escVersion);
    for (int control : kPanelControls) {
        EXPECT_TRUE(driver::isControlEnabled(window, control)) << "control " << control;
    }
    if (std::string(c.name) == "DemoStart") {
        driver::saveScreenshot(window, artifact("demo-ready"));
        driver::saveScreenshot(bench, artifact("demo-bench"));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Units, ReadyDemo,
                         ::testing::Values(ReadyCase{"DemoStart", L"", L"LINK-CUBE", L"0.9"},
                                           ReadyCase{"OtherAcceptedTypeOnLinkwave",
                                                     L"linkwave accepted-alt firmware-1.0",
                                                     L"LINKWAVE", L"1.0"},
                                           ReadyCase{"NoFirmwareInstalled", L"no-firmware",
                                                     L"LINK-CUBE", L"----------"}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct RejectedCase {
    const char* name;
    const wchar_t* benchWords;
    std::uint16_t status;
};

class RejectedUnit : public Demo, public ::testing::WithParamInterface<RejectedCase> {};

TEST_P(RejectedUnit, AtStartUpShowsItsStatusAndTheClosedView) {
    start(GetParam().benchWords);
    EXPECT_EQ(hint(), statusWithInstructions(GetParam().status));
    expectClosedView(catalogue(kTextRow1Caption));
}

// Plugged in while the window is open, the unit leads to the same state (the panel already shows
// its closed view, and its caption stays as it was).
TEST_P(RejectedUnit, OnArrivalShowsItsStatus) {
    start(std::wstring(GetParam().benchWords) + L" unplugged");
    ASSERT_EQ(hint(), statusWithInstructions(kTextNoUnit));
    ASSERT_TRUE(driver::benchPlugIn(bench));
    EXPECT_TRUE(
        driver::waitForControlText(window, kHintBox, statusWithInstructions(GetParam().status)));
    expectClosedView(catalogue(kTextRow1Caption));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Units, RejectedUnit,
                         ::testing::Values(RejectedCase{"WrongMode", L"wrong-mode", kTextWrongMode},
                                           RejectedCase{"NoUpdatableController", L"no-controller",
                                                        kTextNoController}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Demo, IncompatibleControllerAtStartUpIsNoticedThenShown) {
    launch(L"other-type");
    answerIncompatibleNotice();
    ASSERT_TRUE(driver::waitForMainWindow(&program));
    window = program.mainWindow;
    EXPECT_EQ(hint(), statusWithInstructions(kTextIncompatible));
    expectClosedView(catalogue(kTextRow1Caption));
}

TEST_F(Demo, IncompatibleControllerOnArrivalIsNoticedThenShown) {
    start(L"other-type unplugged");
    ASSERT_TRUE(driver::benchPlugIn(bench));
    answerIncompatibleNotice();
    EXPECT_TRUE(
        driver::waitForControlText(window, kHintBox, statusWithInstructions(kTextIncompatible)));
    expectClosedView(catalogue(kTextRow1Caption));
}

TEST_F(Demo, UnplugInTheReadyStateLosesTheConnectionAndKeepsTheProductName) {
    start(L"linkwave");
    ASSERT_EQ(hint(), catalogue(kTextReady));
    ASSERT_TRUE(driver::benchUnplug(bench));
    EXPECT_TRUE(
        driver::waitForControlText(window, kHintBox, statusWithInstructions(kTextConnectionLost)));
    expectClosedView(L"LINKWAVE");
    driver::saveScreenshot(window, artifact("demo-unplugged"));
}

// A controller that never answers keeps the arrival's identification waiting for the read's
// bound (10 s). The window answers meanwhile as it always does; afterwards the unit is open but
// not identified: the Hint box unchanged, Update disabled, and its removal loses the connection.
TEST_F(Demo, SilentControllerOnArrivalKeepsTheWindowAnswering) {
    start(L"silent-controller unplugged");
    ASSERT_EQ(hint(), statusWithInstructions(kTextNoUnit));
    driver::AnswerWatch watch(window);
    ASSERT_TRUE(driver::benchPlugIn(bench));
    Sleep(12000);  // past the bound
    const DWORD longest = watch.stop();
    EXPECT_GE(watch.questions(), 50u) << "the watch asked throughout";
    EXPECT_LT(longest, 1000u) << "the window did not answer for " << longest << " ms";
    std::printf("longest answer during the identification: %lu ms\n",
                static_cast<unsigned long>(longest));

    EXPECT_EQ(hint(), statusWithInstructions(kTextNoUnit));
    EXPECT_FALSE(driver::isControlEnabled(window, kUpdateButton));
    ASSERT_TRUE(driver::benchUnplug(bench));
    EXPECT_TRUE(
        driver::waitForControlText(window, kHintBox, statusWithInstructions(kTextConnectionLost)));
}

TEST_F(Demo, PlugInAfterStartUpLeadsToTheReadyState) {
    start(L"unplugged");
    EXPECT_EQ(hint(), statusWithInstructions(kTextNoUnit));
    ASSERT_TRUE(driver::benchPlugIn(bench));
    EXPECT_TRUE(driver::waitForControlText(window, kHintBox, catalogue(kTextReady)));
    EXPECT_TRUE(driver::waitForControlEnabled(window, kUpdateButton, true));
    EXPECT_EQ(driver::controlText(window, kRow1Caption), L"LINK-CUBE");
}

std::wstring errorCodeLine(std::uint32_t result, std::uint32_t lastError) {
    wchar_t line[256];
    std::swprintf(line, 256, catalogue(kTextErrorCodeLine).c_str(), result, lastError);
    return line;
}

// The bench works while the program's thread is busy with the transfer: the unit pulled then
// fails the next block, and the notice of its removal, held until the transfer has ended, changes
// nothing more.
TEST_F(Demo, UnplugDuringTheTransferEndsInTheBlockFailureReport) {
    start(L"");
    ASSERT_NO_FATAL_FAILURE(confirmUpdate());
    const HWND progress = driver::findWindow(processId(), L"msctls_progress32", L"", 20000);
    ASSERT_NE(progress, nullptr) << "the transfer did not begin";

    const ULONGLONG pulled = GetTickCount64();
    ASSERT_TRUE(driver::benchUnplug(bench, 2000));
    EXPECT_LT(GetTickCount64() - pulled, 2000u) << "the bench waited for the program";

    const HWND box = driver::findMessageBox(processId(), catalogue(kTextUpdateFailedCaption));
    ASSERT_NE(box, nullptr);
    constexpr std::uint32_t kDeviceNotConnected = 1167;  // ERROR_DEVICE_NOT_CONNECTED
    const std::wstring text = driver::messageBoxText(box);
    const std::wstring writeFailed =
        catalogue(kTextBlockFailed) + L"\r\n" + errorCodeLine(0xFFFFFFFE, kDeviceNotConnected);
    const std::wstring readFailed =
        catalogue(kTextBlockFailed) + L"\r\n" + errorCodeLine(0xFFFFFFFD, kDeviceNotConnected);
    EXPECT_TRUE(text == writeFailed || text == readFailed) << "box text: " << text.size();
    EXPECT_FALSE(IsWindow(progress)) << "the progress window is gone before the box";
    driver::answerMessageBox(box, IDOK);
    EXPECT_TRUE(driver::waitForWindowGone(box));

    EXPECT_TRUE(driver::waitForControlText(window, kHintBox, catalogue(kTextUpdateFailedHint)));
    expectClosedView(L"LINK-CUBE");
}

// The demo leaves the simulator's transcript behind when asked; the product writes no file.
TEST_F(Demo, WritesTheTranscriptWhenItEnds) {
    const std::wstring fileName = driver::wineHostPath(ARTIFACT_DIR "/demo-transcript.txt");
    DeleteFileW(fileName.c_str());
    launch(L"", {L"UPDATER_SIM_TRANSCRIPT=" + fileName});
    ASSERT_TRUE(driver::waitForMainWindow(&program));
    ASSERT_TRUE(driver::pressButton(program.mainWindow, kCloseButton));
    ASSERT_EQ(driver::waitForExit(&program), 0);

    const std::string transcript = driver::readFile(fileName);
    EXPECT_EQ(transcript.rfind("0 OUT 01 08 00 ", 0), 0u) << transcript.substr(0, 80);
    for (const char* query : {" OUT 01 1d 08 ", " OUT 01 22 "}) {
        EXPECT_NE(transcript.find(query), std::string::npos) << query;
    }
}

// Whole updates in real time, each some 45 seconds long: run on their own.
class DemoUpdate : public Demo {};

// Where the progress window belongs: centred on the main window, 400 x 50 pixels outside.
RECT centredProgressRect(const RECT& main) {
    const LONG x = main.left + ((main.right - main.left) >> 1) - 200;
    const LONG y = main.top + ((main.bottom - main.top) >> 1) - 25;
    return RECT{x, y, x + 400, y + 50};
}

std::wstring rectText(const RECT& r) {
    return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L" - " +
           std::to_wstring(r.right) + L"," + std::to_wstring(r.bottom);
}

// The progress bar's positions, read every half second until its window is gone; a screenshot of
// the main window under it is taken once the bar is half full.
std::vector<int> watchProgress(HWND progress, HWND mainWindow, const std::wstring& screenshot) {
    std::vector<int> positions;
    bool pictured = false;
    const ULONGLONG deadline = GetTickCount64() + 120000;
    while (IsWindow(progress) && GetTickCount64() < deadline) {
        const int position = driver::progressPosition(progress);
        if (position >= 0) positions.push_back(position);
        if (position >= 50 && !pictured) pictured = driver::saveScreenshot(mainWindow, screenshot);
        Sleep(500);
    }
    return positions;
}

// The transcript's time (ms) of each request with the given command code, in order.
std::vector<unsigned long> requestTimes(const std::string& transcript, unsigned command) {
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, " OUT 01 %02x ", command);
    std::vector<unsigned long> times;
    std::size_t lineStart = 0;
    while (lineStart < transcript.size()) {
        std::size_t lineEnd = transcript.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = transcript.size();
        const std::string line = transcript.substr(lineStart, lineEnd - lineStart);
        if (line.find(pattern) != std::string::npos) times.push_back(std::stoul(line));
        lineStart = lineEnd + 1;
    }
    return times;
}

// The window answers throughout the update (the erase and the 4 s after it included), and keys
// typed while it writes (Escape, Enter: each would close the window) do not act afterwards.
TEST_F(DemoUpdate, WholeUpdateUnderTheProgressWindowEndsInSuccess) {
    const std::wstring transcriptFile =
        driver::wineHostPath(ARTIFACT_DIR "/demo-update-transcript.txt");
    DeleteFileW(transcriptFile.c_str());
    start(L"", {L"UPDATER_SIM_TRANSCRIPT=" + transcriptFile});
    RECT mainRect{};
    ASSERT_TRUE(GetWindowRect(window, &mainRect));
    driver::AnswerWatch watch(window);
    ASSERT_NO_FATAL_FAILURE(confirmUpdate());
    // Typed during the erase, while the main window has the focus: Escape and Enter (the Close
    // button is the default) would each close it once the update lets the queue be read.
    Sleep(500);
    driver::typeKey(VK_ESCAPE);
    driver::pressKey(window, VK_RETURN);

    const HWND progress = driver::findWindow(processId(), L"msctls_progress32",
                                             catalogue(kTextUpdateInProgress), 20000);
    ASSERT_NE(progress, nullptr) << "no progress window with its title";
    EXPECT_EQ(GetWindow(progress, GW_OWNER), window) << "owned by the main window";
    RECT progressRect{};
    ASSERT_TRUE(GetWindowRect(progress, &progressRect));
    EXPECT_EQ(rectText(progressRect), rectText(centredProgressRect(mainRect)));

    const std::vector<int> positions =
        watchProgress(progress, window, artifact("demo-update-progress"));
    ASSERT_FALSE(IsWindow(progress)) << "the transfer did not end";
    ASSERT_GE(positions.size(), 2u) << "the position was not read twice";
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_LT(positions.front(), positions.back()) << "the bar was not seen to move";
    EXPECT_LE(positions.back(), 100);

    EXPECT_TRUE(driver::waitForControlText(window, kHintBox, catalogue(kTextUpdateSucceeded)));
    const DWORD longest = watch.stop();
    EXPECT_LT(longest, 1000u) << "the window did not answer for " << longest << " ms";
    std::printf("longest answer during the update: %lu ms (%u questions)\n",
                static_cast<unsigned long>(longest), watch.questions());
    Sleep(1000);
    ASSERT_TRUE(IsWindowVisible(window)) << "a key typed during the update closed the window";
    EXPECT_EQ(driver::controlText(window, kRow3Version), L"1.0");
    EXPECT_FALSE(driver::isControlEnabled(window, kUpdateButton));
    EXPECT_TRUE(driver::isControlEnabled(window, kRow3Caption)) << "the session stays open";
    driver::saveScreenshot(window, artifact("demo-update-done"));

    // Real waits: from the lock to its release, 5080 ms and 20 ms after every block at least.
    ASSERT_TRUE(driver::pressButton(window, kCloseButton));
    ASSERT_EQ(driver::waitForExit(&program), 0);
    const std::string transcript = driver::readFile(transcriptFile);
    const std::vector<unsigned long> locks = requestTimes(transcript, 0x0B);
    const std::size_t blocks = requestTimes(transcript, 0x1B).size();
    ASSERT_EQ(locks.size(), 2u) << "the lock and its release";
    // The image that the demo carries, the build's input, in 48-byte blocks.
    EXPECT_EQ(blocks, (firmwareInputFile().size() + kBlockBytes - 1) / kBlockBytes);
    EXPECT_GE(locks.back() - locks.front(), 5080 + 20 * blocks);
}

// The erase refused with the controller's code: the box for it with the code's line, and no
// progress window.
TEST_F(DemoUpdate, RefusedEraseEndsInTheEraseFailureReport) {
    start(L"erase-refused");
    ASSERT_NO_FATAL_FAILURE(confirmUpdate());
    // Enter typed while the erase is waited for must not answer the failure box unseen.
    Sleep(500);
    driver::typeKey(VK_RETURN);
    driver::typeKey(VK_SPACE);

    const HWND box =
        driver::findMessageBox(processId(), catalogue(kTextUpdateFailedCaption), 20000);
    ASSERT_NE(box, nullptr) << "no failure report";
    Sleep(1000);
    ASSERT_TRUE(IsWindow(box)) << "a key typed before the box showed answered it";
    EXPECT_EQ(driver::messageBoxText(box),
              catalogue(kTextEraseFailed) + L"\r\n" + errorCodeLine(sim::kRefusedHardwareFault, 0));
    EXPECT_EQ(driver::findWindow(processId(), L"msctls_progress32", L"", 0), nullptr);
    driver::saveScreenshot(box, artifact("demo-erase-refused"));
    driver::answerMessageBox(box, IDOK);
    EXPECT_TRUE(driver::waitForWindowGone(box));

    EXPECT_TRUE(driver::waitForControlText(window, kHintBox, catalogue(kTextUpdateFailedHint)));
    expectClosedView(L"LINK-CUBE");
}

// The unit sends a report that nobody asked for right after it answers block 10: it is found
// waiting before block 11, which is not sent, and the window shows the block's failure with the
// cause in its code line, never the success.
TEST_F(DemoUpdate, AReportNobodyAskedForEndsTheUpdateBeforeTheNextBlock) {
    start(L"stray-report");
    ASSERT_NO_FATAL_FAILURE(confirmUpdate());

    const HWND box =
        driver::findMessageBox(processId(), catalogue(kTextUpdateFailedCaption), 120000);
    ASSERT_NE(box, nullptr) << "no failure report";
    EXPECT_EQ(driver::messageBoxText(box),
              catalogue(kTextBlockFailed) + L"\r\n" +
                  errorCodeLine(static_cast<std::uint32_t>(kWriteFailed), kErrorReportWaiting));
    driver::answerMessageBox(box, IDOK);
    EXPECT_TRUE(driver::waitForWindowGone(box));
    EXPECT_TRUE(driver::waitForControlText(window, kHintBox, catalogue(kTextUpdateFailedHint)));
}

// Behind the warning the controller was exchanged: identified again, it reports firmware 2.0.
// The warning comes again, then the older-or-same question; No sends nothing of the update, and
// the panel shows the controller as it was found.
TEST_F(Demo, AControllerChangedBehindTheWarningIsAskedAboutAgain) {
    const std::wstring fileName = driver::wineHostPath(ARTIFACT_DIR "/demo-changed-controller.txt");
    DeleteFileW(fileName.c_str());
    launch(L"controller-changes", {L"UPDATER_SIM_TRANSCRIPT=" + fileName});
    ASSERT_TRUE(driver::waitForMainWindow(&program));
    window = program.mainWindow;
    ASSERT_TRUE(driver::pressButton(window, kUpdateButton));
    const HWND warning = driver::findMessageBox(processId(), catalogue(kTextWarningCaption));
    ASSERT_NE(warning, nullptr) << "no warning before the update";
    driver::answerMessageBox(warning, IDOK);
    ASSERT_TRUE(driver::waitForWindowGone(warning));
    const HWND again = driver::findMessageBox(processId(), catalogue(kTextWarningCaption));
    ASSERT_NE(again, nullptr) << "the warning was not asked again";
    driver::answerMessageBox(again, IDOK);
    const HWND question = driver::findMessageBox(processId(), catalogue(kTextOlderOrSameCaption));
    ASSERT_NE(question, nullptr) << "no older-or-same question for the 2.0 now found";
    EXPECT_EQ(driver::messageBoxText(question), catalogue(kTextOlderOrSame));
    driver::answerMessageBox(question, IDNO);
    EXPECT_TRUE(driver::waitForWindowGone(question));

    EXPECT_TRUE(driver::waitForControlText(window, kRow3Version, L"2.0"));
    EXPECT_TRUE(driver::isControlEnabled(window, kUpdateButton));
    ASSERT_TRUE(driver::pressButton(window, kCloseButton));
    ASSERT_EQ(driver::waitForExit(&program), 0);
    const std::string transcript = driver::readFile(fileName);
    for (const char* command : {" OUT 01 0b ", " OUT 01 20 ", " OUT 01 1e ", " OUT 01 1b "}) {
        EXPECT_EQ(transcript.find(command), std::string::npos) << command;
    }
}

// A controller that reads otherwise on every identification: asked about anew once, then found
// changed again and left alone, as a unit no longer ready (the box without an error-code line).
TEST_F(Demo, AControllerThatKeepsChangingIsNotWritten) {
    const std::wstring fileName = driver::wineHostPath(ARTIFACT_DIR "/demo-flickering.txt");
    DeleteFileW(fileName.c_str());
    launch(L"controller-flickers", {L"UPDATER_SIM_TRANSCRIPT=" + fileName});
    ASSERT_TRUE(driver::waitForMainWindow(&program));
    window = program.mainWindow;
    ASSERT_TRUE(driver::pressButton(window, kUpdateButton));
    for (int asked = 0; asked < 2; ++asked) {
        const HWND warning = driver::findMessageBox(processId(), catalogue(kTextWarningCaption));
        ASSERT_NE(warning, nullptr) << "warning " << asked;
        driver::answerMessageBox(warning, IDOK);
        ASSERT_TRUE(driver::waitForWindowGone(warning));
    }
    const HWND question = driver::findMessageBox(processId(), catalogue(kTextOlderOrSameCaption));
    ASSERT_NE(question, nullptr) << "no older-or-same question for the 2.0 found";
    driver::answerMessageBox(question, IDYES);
    ASSERT_TRUE(driver::waitForWindowGone(question));
    const HWND failure = driver::findMessageBox(processId(), catalogue(kTextUpdateFailedCaption));
    ASSERT_NE(failure, nullptr) << "the update did not end";
    EXPECT_EQ(driver::messageBoxText(failure), catalogue(kTextLockFailed));
    driver::answerMessageBox(failure, IDOK);
    ASSERT_TRUE(driver::waitForWindowGone(failure));
    ASSERT_TRUE(driver::pressButton(window, kCloseButton));
    ASSERT_EQ(driver::waitForExit(&program), 0);
    const std::string transcript = driver::readFile(fileName);
    for (const char* command : {" OUT 01 0b ", " OUT 01 20 ", " OUT 01 1e ", " OUT 01 1b "}) {
        EXPECT_EQ(transcript.find(command), std::string::npos) << command;
    }
}

// A bench that the demo does not know is refused by name, with the words it knows, and the demo
// ends without a window of its own.
TEST(DemoBench, OneItDoesNotKnowIsRefusedByName) {
    driver::Program program;
    ASSERT_TRUE(driver::launch(driver::wineHostPath(UPDATER_DEMO_FILE), &program,
                               {L"UPDATER_SIM_BENCH=linkcbue"}));
    const HWND box = driver::findMessageBox(program.process.dwProcessId, L"terval-updater-demo");
    ASSERT_NE(box, nullptr) << "no refusal";
    const std::wstring text = driver::messageBoxText(box);
    EXPECT_NE(text.find(L"UPDATER_SIM_BENCH=\"linkcbue\""), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"stray-report controller-changes"), std::wstring::npos) << text;
    driver::answerMessageBox(box, IDOK);
    EXPECT_EQ(driver::waitForExit(&program), 2);
}

// One copy at a time: a second start brings the first copy's window up and ends with exit code
// 0, without a window of its own and before it touches any device (a second demo writes no
// transcript: it never made its bench). The demo and the program do not exclude each other.
struct SecondStartCase {
    const char* name;
    const char* first;
    const char* second;
    bool runs;  // the second start runs beside the first
};

class SecondStart : public ::testing::TestWithParam<SecondStartCase> {};

TEST_P(SecondStart, EndsAtOnceOrRunsBeside) {
    const SecondStartCase& c = GetParam();
    driver::Program first;
    ASSERT_TRUE(driver::start(driver::wineHostPath(c.first), &first));
    ShowWindow(first.mainWindow, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(first.mainWindow));

    const std::wstring transcript = driver::wineHostPath(ARTIFACT_DIR "/second-start.txt");
    DeleteFileW(transcript.c_str());
    driver::Program second;
    ASSERT_TRUE(driver::launch(driver::wineHostPath(c.second), &second,
                               {L"UPDATER_SIM_TRANSCRIPT=" + transcript}));
    if (c.runs) {
        EXPECT_TRUE(driver::waitForMainWindow(&second));
        ASSERT_TRUE(driver::pressButton(second.mainWindow, kCloseButton));
        EXPECT_EQ(driver::waitForExit(&second), 0);
    } else {
        EXPECT_EQ(driver::waitForExit(&second), 0);
        EXPECT_EQ(GetFileAttributesW(transcript.c_str()), INVALID_FILE_ATTRIBUTES)
            << "the second copy worked its bench";
        const ULONGLONG deadline = GetTickCount64() + 5000;
        while (IsIconic(first.mainWindow) && GetTickCount64() < deadline) Sleep(50);
        EXPECT_FALSE(IsIconic(first.mainWindow)) << "the first copy's window was not brought up";
    }
    ShowWindow(first.mainWindow, SW_RESTORE);
    ASSERT_TRUE(driver::pressButton(first.mainWindow, kCloseButton));
    EXPECT_EQ(driver::waitForExit(&first), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Starts, SecondStart,
    ::testing::Values(
        SecondStartCase{"ProgramTwice", UPDATER_PROGRAM_FILE, UPDATER_PROGRAM_FILE, false},
        SecondStartCase{"DemoTwice", UPDATER_DEMO_FILE, UPDATER_DEMO_FILE, false},
        SecondStartCase{"DemoBesideProgram", UPDATER_PROGRAM_FILE, UPDATER_DEMO_FILE, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The command byte of every request in the transcript, in order.
std::vector<unsigned> requestCommands(const std::string& transcript) {
    std::vector<unsigned> commands;
    for (std::size_t at = transcript.find(" OUT 01 "); at != std::string::npos;
         at = transcript.find(" OUT 01 ", at + 1)) {
        commands.push_back(std::stoul(transcript.substr(at + 8, 2), nullptr, 16));
    }
    return commands;
}

// The demo with one bit of its firmware image (resource 151) flipped after linking, as a damaged
// download would carry it: after the warning the update is refused like an image that cannot be
// sent, with the failure report and no code line, and the unit gets no command of an update.
class AlteredDemo : public Demo {
protected:
    AlteredDemo() { demoFile = UPDATER_ALTERED_DEMO_FILE; }
};

TEST_F(AlteredDemo, RefusesTheUpdateAndSendsNoCommand) {
    const std::wstring transcriptFile =
        driver::wineHostPath(ARTIFACT_DIR "/altered-demo-transcript.txt");
    DeleteFileW(transcriptFile.c_str());
    start(L"", {L"UPDATER_SIM_TRANSCRIPT=" + transcriptFile});
    ASSERT_EQ(hint(), catalogue(kTextReady));
    ASSERT_NO_FATAL_FAILURE(confirmUpdate());

    const HWND box = driver::findMessageBox(processId(), catalogue(kTextUpdateFailedCaption));
    ASSERT_NE(box, nullptr) << "no failure report";
    EXPECT_EQ(driver::messageBoxText(box), catalogue(kTextUpdateFailedHint));
    EXPECT_EQ(driver::findWindow(processId(), L"msctls_progress32", L"", 0), nullptr);
    driver::answerMessageBox(box, IDOK);
    EXPECT_TRUE(driver::waitForWindowGone(box));
    EXPECT_TRUE(driver::waitForControlText(window, kHintBox, catalogue(kTextUpdateFailedHint)));
    expectClosedView(L"LINK-CUBE");

    ASSERT_TRUE(driver::pressButton(window, kCloseButton));
    ASSERT_EQ(driver::waitForExit(&program), 0);
    // Only the identification's requests: status, memory read, controller and bootloader info.
    const std::vector<unsigned> commands = requestCommands(driver::readFile(transcriptFile));
    ASSERT_FALSE(commands.empty()) << "no transcript";
    for (unsigned command : commands) {
        EXPECT_TRUE(command == 0x08 || command == 0x0A || command == 0x1D || command == 0x22)
            << "request 0x" << std::hex << command;
    }
}

// A run of the demo leaves its log in the prefix's user folder, in a folder of its own that keeps
// the newest 20: the program's logs are not touched. The log is written when the user's session
// ends (the system may end the program then without another message), and whole again at the end.
TEST_F(Demo, WritesItsLogUnderLocalAppDataAndKeepsTwenty) {
    for (const wchar_t* subfolder : {L"logs", L"demo-logs"}) {
        const std::wstring folder = driver::programLogFolder(subfolder);
        for (std::size_t at = folder.find(L"\\BELMARODA"); at != std::wstring::npos;
             at = folder.find(L'\\', at + 1)) {
            CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
        }
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int day = 1; day <= 25; ++day) {
            wchar_t name[64];
            std::swprintf(name, 64, L"\\2000-01-%02d_10-00-00-000.log", day);
            const HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            CloseHandle(file);
        }
    }
    start(L"");
    ASSERT_EQ(hint(), catalogue(kTextReady));
    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                                  &answer),
              0);
    std::vector<std::wstring> names = driver::programLogNames(L"demo-logs");
    ASSERT_EQ(names.size(), 20u) << "written at the session's end";
    const std::wstring own = names.back();
    EXPECT_NE(driver::readFile(driver::programLogFolder(L"demo-logs") + L"\\" + own)
                  .find(" OUT 01 08 00 "),
              std::string::npos)
        << "the identification";
    ASSERT_TRUE(driver::pressButton(window, kCloseButton));
    ASSERT_EQ(driver::waitForExit(&program), 0);

    EXPECT_EQ(driver::programLogNames(L"logs").size(), 25u) << "the program's logs untouched";
    names = driver::programLogNames(L"demo-logs");
    EXPECT_EQ(names.size(), 20u);
    ASSERT_FALSE(names.empty());
    EXPECT_GT(names.front(), std::wstring(L"2000-01-05_10-00-00-000.log")) << "the oldest went";
    EXPECT_EQ(names.back(), own) << "the same file, replaced whole";
    const std::string log = driver::readFile(driver::programLogFolder(L"demo-logs") + L"\\" + own);
    EXPECT_EQ(log.rfind("# program: terval-updater-demo 1.0\n# image sha256: ", 0), 0u)
        << log.substr(0, 200);
    EXPECT_NE(log.find("\n# system: Windows "), std::string::npos) << log.substr(0, 300);
    EXPECT_NE(log.find(" unit vendor 5ea7 product 0002 output 60 input 60 path "),
              std::string::npos);
    EXPECT_NE(log.find(" OUT 01 08 00 "), std::string::npos) << "the identification";
}

// A whole update as the window drives it (the start-up identification, the one after the
// warning, the update), made here with the simulated unit in virtual time and the image the demo
// carries, into a log; the demo then serves it in place of its bench (UPDATER_REPLAY).
std::wstring recordWholeUpdate(const std::string& name) {
    const std::string file = std::string(ARTIFACT_DIR) + "/" + name;
    sim::ScopedBench bench;
    sim::plugIn(sim::programmingUnit());
    const FirmwareImage image = firmwareImage();
    sim::BenchBackend backend;
    sim::BenchClock clock;
    sessionlog::Log log;
    log.start({"demo-e2e-tests", hexDigest(*image.expectedDigest), "Windows"}, {file, ""}, clock);
    DeviceSession session({backend, clock, &log});
    EXPECT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(identifyUnit(session), kSuccess);
    EXPECT_TRUE(writeFirmware(session, image, UpdateProgress{}).succeeded);
    closeSession(session);
    EXPECT_TRUE(log.write());
    return driver::wineHostPath(file);
}

// The recording with the last block's reply turned into a refusal with the code 0x107.
std::wstring refuseLastBlock(const std::wstring& recording, const std::string& name) {
    std::string log = driver::readFile(recording);
    const std::size_t block = log.rfind(" OUT 01 1b ");
    const std::size_t reply = log.find('\n', block) + 1;
    const std::size_t bytes = log.find(" IN ", reply) + 4;  // "02 st xx yy cc cc cc cc"
    log.replace(bytes + 3, 2, "ff");
    log.replace(bytes + 12, 11, "07 01 00 00");
    const std::string file = std::string(ARTIFACT_DIR) + "/" + name;
    const std::wstring path = driver::wineHostPath(file);
    const HANDLE out =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(out, log.data(), static_cast<DWORD>(log.size()), &written, nullptr);
    CloseHandle(out);
    return path;
}

// The demo serving a recording: no bench window, the unit as recorded.
class ReplayDemo : public Demo {
protected:
    void startReplay(const std::wstring& recording) {
        ASSERT_TRUE(driver::launch(driver::wineHostPath(demoFile), &program,
                                   {L"UPDATER_REPLAY=" + recording}));
        ASSERT_TRUE(driver::waitForMainWindow(&program)) << "the main window did not appear";
        window = program.mainWindow;
        ASSERT_EQ(hint(), catalogue(kTextReady));
    }
};

TEST_F(ReplayDemo, TheRecordedUpdateSucceedsInTheWindow) {
    startReplay(recordWholeUpdate("replay-whole-update.log"));
    ASSERT_NO_FATAL_FAILURE(confirmUpdate());
    EXPECT_TRUE(driver::waitForControlText(window, kHintBox, catalogue(kTextUpdateSucceeded)));
    EXPECT_EQ(driver::controlText(window, kRow3Version), L"1.0");
    EXPECT_FALSE(driver::isControlEnabled(window, kUpdateButton));
}

TEST_F(ReplayDemo, TheLastBlockRefusedInTheRecordingFailsInTheWindow) {
    startReplay(refuseLastBlock(recordWholeUpdate("replay-whole-update.log"),
                                "replay-last-block-refused.log"));
    ASSERT_NO_FATAL_FAILURE(confirmUpdate());
    const HWND box = driver::findMessageBox(processId(), catalogue(kTextUpdateFailedCaption));
    ASSERT_NE(box, nullptr) << "no failure report";
    EXPECT_EQ(driver::messageBoxText(box),
              catalogue(kTextBlockFailed) + L"\r\n" + errorCodeLine(0x107, 0));
    driver::answerMessageBox(box, IDOK);
    EXPECT_TRUE(driver::waitForWindowGone(box));
    EXPECT_TRUE(driver::waitForControlText(window, kHintBox, catalogue(kTextUpdateFailedHint)));
}

// A recording of another image than the one the demo carries is refused with a message.
TEST_F(ReplayDemo, ARecordingOfAnotherImageIsRefused) {
    std::string log = driver::readFile(recordWholeUpdate("replay-whole-update.log"));
    const std::size_t digest = log.find("# image sha256: ") + 16;
    log.replace(digest, 64, std::string(64, '0'));
    const std::wstring path = driver::wineHostPath(std::string(ARTIFACT_DIR) + "/replay-other.log");
    const HANDLE out =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(out, log.data(), static_cast<DWORD>(log.size()), &written, nullptr);
    CloseHandle(out);

    ASSERT_TRUE(
        driver::launch(driver::wineHostPath(demoFile), &program, {L"UPDATER_REPLAY=" + path}));
    const HWND box = driver::findMessageBox(processId(), L"terval-updater-demo");
    ASSERT_NE(box, nullptr) << "no message";
    EXPECT_NE(driver::messageBoxText(box).find(L"made with the image whose SHA-256 is 0000"),
              std::wstring::npos);
    driver::answerMessageBox(box, IDOK);
    EXPECT_EQ(driver::waitForExit(&program), 2);
}

TEST(Product, WritesNoTranscript) {
    const std::wstring fileName = driver::wineHostPath(ARTIFACT_DIR "/product-transcript.txt");
    DeleteFileW(fileName.c_str());
    driver::Program program;
    ASSERT_TRUE(driver::start(driver::wineHostPath(UPDATER_PROGRAM_FILE), &program,
                              driver::kDefaultTimeoutMs, {L"UPDATER_SIM_TRANSCRIPT=" + fileName}));
    ASSERT_TRUE(driver::pressButton(program.mainWindow, kCloseButton));
    ASSERT_EQ(driver::waitForExit(&program), 0);
    EXPECT_EQ(GetFileAttributesW(fileName.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace

int main(int argc, char** argv) { return runEndToEndTests(argc, argv); }
