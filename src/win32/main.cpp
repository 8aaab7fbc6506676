// The program's entry point.
#include <windows.h>

#include "ui/app.h"
#include "win32/dll_search.h"
#include "win32/hid_windows.h"
#include "win32/main_dialog.h"
#include "win32/precise_wait_windows.h"
#include "win32/program_log.h"
#include "win32/single_copy.h"

// The command line and the show state are not used.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything else. Should the system refuse, the program ends here, showing nothing:
    // even a message box may load further DLLs, and an updater that could run someone else's
    // code beside a controller being flashed must not start at all. The exit code stays 0, as on
    // every other path.
    if (!loadDllsFromSystemFolderOnly()) return 0;
    // A second start brings the first copy's window up and ends, touching no device.
    if (!claimOnlyCopy(L"Global\\BELMARODA.TervalUpdater")) return 0;
    // The real unit through the system's HID support, in real time, recorded into the run's log.
    static hid::WindowsBackend backend;
    static WindowsClock clock;
    startProgramLog("terval-updater", "logs", clock);
    startAppSession({backend, clock, &programLog()});
    const int exitCode = runProgram(instance);
    finishProgramLog();
    return exitCode;
}
