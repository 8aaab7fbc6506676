// The program's main window: the modal dialog 110 and its dialog procedure.
#pragma once

#include <windows.h>

// The program's start: initialises the common controls, chooses the language of the texts and
// the dialog, closes the session, runs dialog 110 in that language until it ends, and returns
// the exit code, always 0. The entry point of every executable that shows the main window calls
// this with its instance handle.
int runProgram(HINSTANCE instance);
