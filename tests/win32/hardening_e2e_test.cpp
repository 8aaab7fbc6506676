// terval-updater.exe as a user runs it from a folder that anyone may have written to, under Wine:
// fake system DLLs planted beside it are never loaded, and many starts and closes in a row each
// end cleanly and leave no process behind.
//
// The planted case needs Wine to prefer a DLL found on the search path over its own (run it with
// WINEDLLOVERRIDES="hid,comctl32,msimg32=n,b"); otherwise Wine would take its own copy whatever
// the program asked for, and the fakes could not be loaded even by a careless program.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it builds on.
#include <tlhelp32.h>

#include <string>

#include "e2e_language.h"
#include "ui/resource_ids.h"
#include "ui_driver.h"

namespace {

const wchar_t kProgramName[] = L"terval-updater.exe";
const wchar_t* const kPlantedNames[] = {L"hid.dll", L"comctl32.dll", L"msimg32.dll"};

// Asks for an update as the Update button does (disabled without a unit, so its command is sent
// to the window), which loads the progress bar's library, and answers the box that says that no
// unit was found. False when that box did not appear.
bool askForAnUpdate(const driver::Program& program) {
    if (!PostMessageW(program.mainWindow, WM_COMMAND, MAKEWPARAM(kUpdateButton, BN_CLICKED), 0)) {
        return false;
    }
    const HWND box =
        driver::findMessageBox(program.process.dwProcessId, catalogue(kTextUpdateFailedCaption));
    if (box == nullptr) return false;
    driver::answerMessageBox(box, IDOK);
    return true;
}

// Starts the program, waits for its window, with withUpdate asks for an update, and closes the
// window with the Close button; its exit code, or a negative value when the window or the box did
// not appear (the process is then ended).
int startAndClose(const std::wstring& exe, bool withUpdate = false) {
    driver::Program program;
    if (!driver::start(exe, &program)) {
        const int exitCode = driver::waitForExit(&program, 0);
        return exitCode >= 0 ? exitCode : -1;
    }
    if (withUpdate && !askForAnUpdate(program)) {
        driver::waitForExit(&program, 0);
        return -3;
    }
    if (!driver::pressButton(program.mainWindow, kCloseButton)) {
        driver::waitForExit(&program, 0);
        return -2;
    }
    return driver::waitForExit(&program);
}

// The processes of the program still listed by the system.
int programProcessCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, kProgramName) == 0) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh folder holding a copy of the program and the fakes under the names of system DLLs.
class PlantedDlls : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        folder = std::wstring(temp) + L"planted-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        exe = folder + L"\\" + kProgramName;
        ASSERT_TRUE(
            CopyFileW(driver::wineHostPath(UPDATER_PROGRAM_FILE).c_str(), exe.c_str(), TRUE));
        const std::wstring fake = driver::wineHostPath(PLANTED_DLL_FILE);
        for (const wchar_t* name : kPlantedNames) {
            ASSERT_TRUE(CopyFileW(fake.c_str(), (folder + L"\\" + name).c_str(), TRUE)) << name;
        }
    }

    // A loaded fake leaves "<name>.loaded" beside itself.
    bool loaded(const wchar_t* name) const {
        return fileExists(folder + L"\\" + name + L".loaded");
    }

    std::wstring folder;
    std::wstring exe;
};

TEST_F(PlantedDlls, AreNotLoadedAndTheProgramEndsWithExitCode0) {
    // A loaded fake ends the process at once with exit code 86. comctl32.dll is loaded only when
    // an update is asked for, which is therefore done.
    EXPECT_EQ(startAndClose(exe, true), 0);
    for (const wchar_t* name : kPlantedNames) EXPECT_FALSE(loaded(name)) << name;
}

TEST(StartAndClose, ThirtyTimesEachWithExitCode0AndNoProcessLeft) {
    const std::wstring exe = driver::wineHostPath(UPDATER_PROGRAM_FILE);
    for (int run = 1; run <= 30; ++run) {
        ASSERT_EQ(startAndClose(exe), 0) << "run " << run;
        ASSERT_EQ(programProcessCount(), 0) << "run " << run;
    }
}

}  // namespace
