// The Windows side of the window seam (ui/window.h): the program's module, the language of its
// texts and the main window that the seam's operations act on, and what the dialog procedure
// asks of the seam.
#pragma once

#include <windows.h>

namespace window {

// Set once at start, before the main dialog exists: the program's own module (the source of
// every resource) and the resource language of every text and of dialog 110.
void setProgram(HINSTANCE instance, WORD language);
HINSTANCE programInstance();
WORD programLanguage();

// Set by the main dialog's initialisation; null before.
void setMainWindow(HWND window);
HWND mainWindowHandle();

// True while an update holds off a shutdown (blockSleepAndShutdown).
bool isShutdownBlocked();

}  // namespace window
