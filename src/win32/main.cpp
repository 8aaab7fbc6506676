// The program's entry point.
#include <windows.h>

#include "win32/main_dialog.h"

// The command line and the show state are not used.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything else: every DLL that this process loads from now on, the system's own
    // indirect loads included, comes from the system folder only, never from the folder the
    // program was started from (a Downloads folder may hold a planted hid.dll or comctl32.dll).
    // Should the system refuse, the program ends here, showing nothing: even a message box may
    // load further DLLs, and an updater that could run someone else's code beside a controller
    // being flashed must not start at all. The exit code stays 0, as on every other path.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return 0;
    // msimg32 is no KnownDLL, and the system's theming code asks for it by name when the first
    // themed control paints. Loaded from the system folder now, it is the copy that every later
    // request by name gets, also from a loader that would search the program's folder for such a
    // request (Wine's does for the imports that system DLLs load late).
    LoadLibraryExW(L"msimg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return runProgram(instance);
}
