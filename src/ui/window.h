// The window system's operations: everything the user-interface logic and the update procedure
// need of the main window, its controls, message boxes and the progress window.
//
// One implementation is linked into each executable: src/win32/ for the programs, a recording
// fake for the native tests. Every function acts on the one main window; none of them blocks
// except showMessageBox, whose nested loop goes on handling the window's messages.
#pragma once

#include <cstdint>

namespace window {

// Loads text id of the message catalogue, in the language chosen for the user, into buffer
// (capacity in UTF-16 units, terminator included), cut to fit. Returns the length copied; 0 and
// an empty buffer for an id without text.
int loadText(std::uint16_t id, wchar_t* buffer, int capacity);

// The main window's caption.
void setTitle(const wchar_t* text);

// A control of the main window, by its ID.
void setControlText(int controlId, const wchar_t* text);
int controlTextLength(int controlId);
// Copies at most capacity - 1 units of the control's text and the terminator; returns the length.
int controlText(int controlId, wchar_t* buffer, int capacity);
void enableControl(int controlId, bool enabled);

// Message boxes, owned by the main window, by what they are for; the window system gives each
// its buttons and icon.
enum class Box {
    error,            // OK, with the error icon
    information,      // OK, with the information icon
    warningOkCancel,  // a question before the update: OK or Cancel, with the warning icon
    warningYesNo,     // the same, Yes or No
};
enum class Answer { ok, cancel, yes, no };
Answer showMessageBox(const wchar_t* text, const wchar_t* caption, Box box);

// Top-level windows, for the update's progress window and the z-order rule.
using WindowHandle = std::intptr_t;  // 0: none
struct Rect {
    std::int32_t left, top, right, bottom;
};
WindowHandle mainWindow();
WindowHandle foregroundWindow();
Rect windowRect(WindowHandle window);  // outer rectangle, screen coordinates

// A top-level progress bar (WS_VISIBLE | PBS_SMOOTH, range 0 to 100) owned by the main window,
// with a title bar; 0 when it cannot be created.
WindowHandle createProgressWindow(const wchar_t* title, int x, int y, int width, int height);
void setProgress(WindowHandle progress, unsigned position);
void destroyWindow(WindowHandle window);
// SetWindowPos(HWND_TOP, SWP_NOSIZE | SWP_NOMOVE) and ShowWindow(SW_SHOW).
void bringToTop(WindowHandle window);
void showWindow(WindowHandle window);

// Lets the windows repaint during a long operation, and shows the system that the program still
// looks at its queue. Input stays queued; sent messages (device notices among them) are
// delivered, so the caller holds back what it must not handle meanwhile.
void keepPainting();

// Drops the keys and mouse clicks queued for the program's windows, so that what was typed while
// the program could not take it does not act on what is shown next.
void discardQueuedInput();

// While an update writes: the PC does not go to sleep, and a shutdown is held off with reason
// as the text the system shows. Released by allowSleepAndShutdown.
void blockSleepAndShutdown(const wchar_t* reason);
void allowSleepAndShutdown();

}  // namespace window
