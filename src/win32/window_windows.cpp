// The window system's operations (ui/window.h) on Windows, for the main dialog.
#include <windows.h>
#include <commctrl.h>

#include "ui/window.h"
#include "win32/window_windows.h"
#include "win32/resource_language.h"

namespace window {
namespace {

HWND toWindows(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }
WindowHandle fromWindows(HWND handle) { return reinterpret_cast<WindowHandle>(handle); }

HWND control(int controlId) { return GetDlgItem(mainWindowHandle(), controlId); }

bool& shutdownBlocked() {
    static bool blocked = false;
    return blocked;
}

struct Program {
    HINSTANCE instance = nullptr;
    WORD language = 0;
    HWND mainWindow = nullptr;
};

Program& program() {
    static Program theProgram;
    return theProgram;
}

}  // namespace

void setProgram(HINSTANCE instance, WORD language) {
    program().instance = instance;
    program().language = language;
}
HINSTANCE programInstance() { return program().instance; }
WORD programLanguage() { return program().language; }
void setMainWindow(HWND window) { program().mainWindow = window; }
HWND mainWindowHandle() { return program().mainWindow; }

int loadText(std::uint16_t id, wchar_t* buffer, int capacity) {
    return loadTextIn(programInstance(), programLanguage(), id, buffer, capacity);
}

void setTitle(const wchar_t* text) {
    SendMessageW(mainWindowHandle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void setControlText(int controlId, const wchar_t* text) {
    SetWindowTextW(control(controlId), text);
}

int controlTextLength(int controlId) { return GetWindowTextLengthW(control(controlId)); }

int controlText(int controlId, wchar_t* buffer, int capacity) {
    if (capacity <= 0) return 0;
    buffer[0] = L'\0';
    return GetWindowTextW(control(controlId), buffer, capacity);
}

void enableControl(int controlId, bool enabled) { EnableWindow(control(controlId), enabled); }

Answer showMessageBox(const wchar_t* text, const wchar_t* caption, Box box) {
    UINT style = MB_OK | MB_ICONERROR;
    switch (box) {
        case Box::error: break;
        case Box::information: style = MB_OK | MB_ICONINFORMATION; break;
        case Box::warningOkCancel: style = MB_OKCANCEL | MB_ICONWARNING; break;
        case Box::warningYesNo: style = MB_YESNO | MB_ICONWARNING; break;
    }
    // Waits for the user's answer, without a bound: the box's own loop handles every message
    // meanwhile, so the windows go on answering.
    switch (MessageBoxW(mainWindowHandle(), text, caption, style)) {
        case IDOK: return Answer::ok;
        case IDYES: return Answer::yes;
        case IDNO: return Answer::no;
        default: return Answer::cancel;  // closed, or the box could not be shown
    }
}

WindowHandle mainWindow() { return fromWindows(mainWindowHandle()); }
WindowHandle foregroundWindow() { return fromWindows(GetForegroundWindow()); }

Rect windowRect(WindowHandle handle) {
    RECT rect{};
    GetWindowRect(toWindows(handle), &rect);
    return Rect{rect.left, rect.top, rect.right, rect.bottom};
}

WindowHandle createProgressWindow(const wchar_t* title, int x, int y, int width, int height) {
    // A top-level window with a title bar, owned by the main window: it stays above it.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE | PBS_SMOOTH;
    const HWND progress = CreateWindowExW(0, PROGRESS_CLASSW, title, style, x, y, width, height,
                                          mainWindowHandle(), nullptr, programInstance(), nullptr);
    if (progress != nullptr) SendMessageW(progress, PBM_SETRANGE32, 0, 100);
    return fromWindows(progress);
}

void setProgress(WindowHandle progress, unsigned position) {
    SendMessageW(toWindows(progress), PBM_SETPOS, position, 0);
}

void destroyWindow(WindowHandle handle) { DestroyWindow(toWindows(handle)); }

void bringToTop(WindowHandle handle) {
    SetWindowPos(toWindows(handle), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void showWindow(WindowHandle handle) { ShowWindow(toWindows(handle), SW_SHOW); }

// Takes only paint messages from the queue, so that no input is handled in the middle of an
// update; Windows marks a program as not responding when it has not looked at its queue for about
// five seconds. Looking delivers sent messages as well: device notices among them, which the
// device presence handling holds back while an update writes.
void keepPainting() {
    MSG message;
    // Bounded: a window that never validates itself would otherwise keep the loop going.
    for (int i = 0; i < 64 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i) {
        DispatchMessageW(&message);
    }
}

void discardQueuedInput() {
    // Keys, mouse clicks in the windows and on their frames (the close box among them). Bounded,
    // as input may go on arriving while this runs.
    constexpr UINT kInputRanges[][2] = {{WM_KEYFIRST, WM_KEYLAST},
                                        {WM_MOUSEFIRST, WM_MOUSELAST},
                                        {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
    MSG message;
    for (const auto& range : kInputRanges) {
        for (int i = 0; i < 4096 && PeekMessageW(&message, nullptr, range[0], range[1], PM_REMOVE);
             ++i) {
        }
    }
}

void blockSleepAndShutdown(const wchar_t* reason) {
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    ShutdownBlockReasonCreate(mainWindowHandle(), reason);
    shutdownBlocked() = true;
}

void allowSleepAndShutdown() {
    shutdownBlocked() = false;
    ShutdownBlockReasonDestroy(mainWindowHandle());
    SetThreadExecutionState(ES_CONTINUOUS);
}

bool isShutdownBlocked() { return shutdownBlocked(); }

}  // namespace window
