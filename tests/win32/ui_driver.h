// Drives the updater's window from outside, for end-to-end tests under Wine: starts the program,
// finds its windows, reads and presses controls, finds message boxes and answers them, and works
// the simulated bench of the demo. Every wait has a time-out; a function that times out returns
// a failure value rather than blocking.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace driver {

constexpr DWORD kDefaultTimeoutMs = 10000;

// A started program.
struct Program {
    PROCESS_INFORMATION process{};
    HWND mainWindow = nullptr;
};

// Starts exe (with the given environment additions, "NAME=value") and waits until its main
// dialog is visible and has handled its start-up. False on a time-out.
bool start(const std::wstring& exe, Program* program, DWORD timeoutMs = kDefaultTimeoutMs,
           const std::vector<std::wstring>& environment = {});
// Waits for the process to end; its exit code, or -1 on a time-out (the process is then killed).
int waitForExit(Program* program, DWORD timeoutMs = kDefaultTimeoutMs);

// The main window's title, a control's text and enabled state.
std::wstring windowText(HWND window);
std::wstring controlText(HWND dialog, int controlId);
bool isControlEnabled(HWND dialog, int controlId);
// Waits until the control's text equals expected; false on a time-out.
bool waitForControlText(HWND dialog, int controlId, const std::wstring& expected,
                        DWORD timeoutMs = kDefaultTimeoutMs);

// Presses a button as a user would (BM_CLICK, posted so that the caller is not blocked by what
// the press starts).
void pressButton(HWND dialog, int controlId);
// Sends a key press (WM_KEYDOWN/WM_KEYUP through the dialog's handling), e.g. VK_ESCAPE.
void pressKey(HWND window, UINT virtualKey);
// The caption's close box (WM_SYSCOMMAND SC_CLOSE).
void pressCloseBox(HWND window);

// A message box of the given process with the given caption; null on a time-out.
HWND findMessageBox(DWORD processId, const std::wstring& caption,
                    DWORD timeoutMs = kDefaultTimeoutMs);
// The text of a message box (its static text control).
std::wstring messageBoxText(HWND box);
// Presses a button of a message box by its command ID (IDOK, IDCANCEL, IDYES, IDNO).
void answerMessageBox(HWND box, int commandId);

// A top-level window of the process whose class and title match; null on a time-out.
HWND findWindow(DWORD processId, const std::wstring& className, const std::wstring& title,
                DWORD timeoutMs = kDefaultTimeoutMs);

// Saves what the screen shows of window (its outer rectangle) as a 24-bit BMP file.
bool saveScreenshot(HWND window, const std::wstring& fileName);

}  // namespace driver
