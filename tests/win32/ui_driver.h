// Drives the updater's window from outside, for end-to-end tests under Wine: starts the program,
// finds its windows, reads and presses controls, finds message boxes and answers them, and works
// the simulated bench of the demo. Every wait has a time-out; a function that times out returns
// a failure value rather than blocking.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace driver {

constexpr DWORD kDefaultTimeoutMs = 10000;
// How long a window's thread may take to answer one message of the driver (a text, a position):
// a thread that is busy, say with a device exchange, makes the read fail after this long.
constexpr DWORD kAnswerTimeoutMs = 2000;

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

// The two halves of start, for a program whose start-up shows a message box before its main
// dialog appears: launch only creates the process; waitForMainWindow waits for the dialog (a
// visible top-level dialog of the process that no other window owns) and for the program to be
// idle.
bool launch(const std::wstring& exe, Program* program,
            const std::vector<std::wstring>& environment = {});
bool waitForMainWindow(Program* program, DWORD timeoutMs = kDefaultTimeoutMs);

// The main window's title, a control's text and enabled state. A window that does not answer
// within kAnswerTimeoutMs reads as an empty text.
std::wstring windowText(HWND window);
std::wstring controlText(HWND dialog, int controlId);
bool isControlEnabled(HWND dialog, int controlId);
// Waits until the control's text equals expected; false on a time-out.
bool waitForControlText(HWND dialog, int controlId, const std::wstring& expected,
                        DWORD timeoutMs = kDefaultTimeoutMs);
// Waits until the control's enabled state is enabled; false on a time-out.
bool waitForControlEnabled(HWND dialog, int controlId, bool enabled,
                           DWORD timeoutMs = kDefaultTimeoutMs);

// Presses a button as a user would (BM_CLICK, posted so that the caller is not blocked by what
// the press starts). False, and nothing pressed, when the button is missing or disabled.
bool pressButton(HWND dialog, int controlId);
// Sends a key press (WM_KEYDOWN/WM_KEYUP through the dialog's handling), e.g. VK_ESCAPE. The key
// goes to the window that has the keyboard focus in window's thread, as a typed key would.
void pressKey(HWND window, UINT virtualKey);
// The caption's close box (WM_SYSCOMMAND SC_CLOSE).
void pressCloseBox(HWND window);
// Types a key on the keyboard (SendInput): it goes to whatever window has the focus when the
// program takes it from its queue, as a person's key press does.
void typeKey(UINT virtualKey);

// Asks window whether it answers, as Windows does before it calls a window "Not Responding": from
// a thread of its own, a WM_NULL every 100 ms (SendMessageTimeout), keeping the longest time an
// answer took. Runs from construction until stop() or destruction.
class AnswerWatch {
public:
    explicit AnswerWatch(HWND window);
    ~AnswerWatch();
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;
    // Stops asking; the longest answer in milliseconds (one not given within 5 s counts 5000).
    DWORD stop();
    unsigned questions() const { return questions_; }

private:
    static DWORD WINAPI run(void* self);
    HWND window_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stopping_{false};
    std::atomic<DWORD> longestMs_{0};
    std::atomic<unsigned> questions_{0};
};

// A message box of the given process with the given caption; null on a time-out.
HWND findMessageBox(DWORD processId, const std::wstring& caption,
                    DWORD timeoutMs = kDefaultTimeoutMs);
// The text of a message box (its static text control).
std::wstring messageBoxText(HWND box);
// Presses a button of a message box by its command ID (IDOK, IDCANCEL, IDYES, IDNO).
void answerMessageBox(HWND box, int commandId);

// A top-level window of the process whose class and title match (an empty title matches any);
// null on a time-out.
HWND findWindow(DWORD processId, const std::wstring& className, const std::wstring& title,
                DWORD timeoutMs = kDefaultTimeoutMs);
// The visible top-level windows of the process, in z-order from the top.
std::vector<HWND> processWindows(DWORD processId);
// Waits until window is gone (destroyed or hidden); false on a time-out.
bool waitForWindowGone(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);
// The position of a progress bar, or -1 when it does not answer.
int progressPosition(HWND progressBar);

// The Windows path under which Wine shows a file of the host: the host's root is drive Z:.
std::wstring wineHostPath(const std::string& hostPath);

// The whole content of a file (shared with its writer), or "" when it cannot be opened.
std::string readFile(const std::wstring& fileName);
// The folder of the program's logs in this Wine prefix's user folder (%LOCALAPPDATA%), or the
// demo's ("demo-logs").
std::wstring programLogFolder(const wchar_t* subfolder = L"logs");
// The names of the logs in that folder, sorted, i.e. by their start times.
std::vector<std::wstring> programLogNames(const wchar_t* subfolder = L"logs");

// Saves what the screen shows of window (its outer rectangle) as a 24-bit BMP file.
bool saveScreenshot(HWND window, const std::wstring& fileName);
// The same for the smallest rectangle that holds all the windows (say a window and the bench).
bool saveScreenshot(const std::vector<HWND>& windows, const std::wstring& fileName);

// The simulated bench of the demo: its window, found among the program's windows.
HWND findBench(DWORD processId, DWORD timeoutMs = kDefaultTimeoutMs);
// Picks entry index of one of the bench's lists (the product, what hangs on the unit, the
// controller's firmware), as a person would; false when the list is missing or disabled (the
// lists are fixed while the unit is plugged in) or the entry does not exist.
bool benchChoose(HWND bench, int listId, int index);
// Plugs the unit in or unplugs it, and waits until the bench shows that it has; false on a
// time-out or when the button is disabled (the unit is already in or out).
bool benchPlugIn(HWND bench, DWORD timeoutMs = kDefaultTimeoutMs);
bool benchUnplug(HWND bench, DWORD timeoutMs = kDefaultTimeoutMs);

}  // namespace driver
