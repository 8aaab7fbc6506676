// The program's main window: the modal dialog 110 and its dialog procedure.
#pragma once

#include <windows.h>

// The program's start: initialises the common controls, chooses the language of the texts and
// the dialog, closes the session, runs dialog 110 in that language until it ends, and returns
// the exit code, always 0. The entry point of every executable that shows the main window calls
// this with its instance handle.
int runProgram(HINSTANCE instance);

// Routes every message of the main dialog.
INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// WM_INITDIALOG: handles, icon, title, captions, device notices, the start-up probe.
void initMainDialog(HWND window);
// WM_PAINT: the logo beside the Version panel, colour-keyed, loaded and released every time.
void paintLogo(HWND window);
// Command 2: releases the notice registration, the session and the label brush.
void closeMainDialog();

// True while an update holds off a shutdown (window::blockSleepAndShutdown).
namespace window {
bool isShutdownBlocked();
}

// The program's own module and the main dialog, set once at start; null before.
HINSTANCE instanceHandle();
HWND mainWindowHandle();
// The resource language of every text and of dialog 110 (win32/resource_language.h), chosen
// once at start; 0 before.
WORD resourceLanguage();
