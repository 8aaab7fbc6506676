// The program's entry point.
#include <windows.h>

#include "win32/main_dialog.h"

// The command line and the show state are not used.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return runProgram(instance); }
