// The program's main window with a ready programming unit on the simulated bench: the window in
// its open view, for the screenshot test.
#include <windows.h>

#include "sim/bench.h"
#include "win32/main_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    sim::plugIn(sim::programmingUnit());
    return runProgram(instance);
}
