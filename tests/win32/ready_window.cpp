// The program's main window with a ready programming unit on the simulated bench: the window in
// its open view, for the screenshot test; and once it is closed, what the close left behind, in
// the exit code (ready_window.h).
#include "ready_window.h"

#include <windows.h>

#include "sim/bench.h"
#include "sim/sim_hid.h"
#include "ui/app.h"
#include "win32/main_dialog.h"

// The registrations for device notices are counted on their way to user32: the executable is
// linked with --wrap for both functions' import pointers, so that the program's calls come here.
namespace {
int registrations = 0;
}

extern "C" {
extern decltype(&RegisterDeviceNotificationW) __real___imp_RegisterDeviceNotificationW;
extern decltype(&UnregisterDeviceNotification) __real___imp_UnregisterDeviceNotification;

static HDEVNOTIFY WINAPI countedRegister(HANDLE recipient, LPVOID filter, DWORD flags) {
    const HDEVNOTIFY registration =
        __real___imp_RegisterDeviceNotificationW(recipient, filter, flags);
    if (registration != nullptr) ++registrations;
    return registration;
}

static WINBOOL WINAPI countedUnregister(HDEVNOTIFY registration) {
    const WINBOOL done = __real___imp_UnregisterDeviceNotification(registration);
    if (done) --registrations;
    return done;
}

decltype(&RegisterDeviceNotificationW) __wrap___imp_RegisterDeviceNotificationW = countedRegister;
decltype(&UnregisterDeviceNotification) __wrap___imp_UnregisterDeviceNotification =
    countedUnregister;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    sim::plugIn(sim::programmingUnit());
    static sim::BenchBackend backend;
    static sim::BenchClock clock;
    startAppSession({backend, clock});
    runProgram(instance);
    int leftBehind = 0;
    if (sim::openHandleCount() != 0) leftBehind |= ready_window::kSessionLeftOpen;
    if (registrations != 0) leftBehind |= ready_window::kNoticesLeftRegistered;
    return leftBehind;
}
