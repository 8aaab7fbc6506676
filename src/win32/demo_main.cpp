// The demo's entry point: the program itself, its session on the simulated programming unit (or
// on a recording) and the simulator's bench window beside the main window (src/win32/demo_bench.h).
#include <windows.h>

#include "ui/app.h"
#include "ui/update.h"
#include "win32/demo_bench.h"
#include "win32/dll_search.h"
#include "win32/main_dialog.h"
#include "win32/program_log.h"
#include "win32/single_copy.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (!loadDllsFromSystemFolderOnly()) return 0;  // as the program itself does
    // A guard of its own: the demo and the program do not exclude each other.
    if (!claimOnlyCopy(L"Global\\BELMARODA.TervalUpdater.Demo")) return 0;
    acceptPlaceholderImage(true);  // its unit is simulated
    if (!startDemoBench()) return 2;
    startProgramLog("terval-updater-demo", "demo-logs", demoClock());  // apart from the program's
    startAppSession({demoBackend(), demoClock(), &programLog()});
    const int exitCode = runProgram(instance);
    finishProgramLog();
    finishDemoBench();
    return exitCode;
}
