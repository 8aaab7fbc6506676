// vunit-control: installs the virtual programming unit's drivers into the Wine prefix, works the
// cable of a served unit, and waits until SetupAPI agrees.
//
//   vunit-control install INF      the drivers (idempotent); returns once the bus is running;
//                                  exit 3 when the prefix runs two service managers (below)
//   vunit-control plug | unplug    the cable, as the server's unit sees it
//   vunit-control stop             unplugs the unit and ends the server
//   vunit-control wait-listed S | wait-gone S
//                                  waits at most S seconds until SetupAPI lists a HID interface of
//                                  vendor 0x5EA7, or lists none
//   vunit-control wait-served S    waits at most S seconds until a server has taken the unit
//   vunit-control running          exit 0 when the bus's control device can be opened
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>
#include <newdev.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "control_codes.h"
#include "unit_interface.h"

namespace {

const wchar_t kBusHardwareId[] = L"Root\\TervalVirtualUnitBus\0";
// The System device class of the INF.
const GUID kSystemClass = {
    0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

int fail(const char* what) {
    std::fprintf(stderr, "vunit-control: %s (error %lu)\n", what, GetLastError());
    return 1;
}

HANDLE openControl() {
    return CreateFileW(VU_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool busRunning() {
    const HANDLE control = openControl();
    if (control == INVALID_HANDLE_VALUE) return false;
    CloseHandle(control);
    return true;
}

// Whether a root device node of the bus exists already.
bool busNodeExists() {
    const HDEVINFO set = SetupDiGetClassDevsW(&kSystemClass, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t ids[512] = {};
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(ids), sizeof ids - 4,
                                              nullptr)) {
            found = _wcsicmp(ids, kBusHardwareId) == 0;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

bool createBusNode() {
    const HDEVINFO set = SetupDiCreateDeviceInfoList(&kSystemClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const bool created =
        SetupDiCreateDeviceInfoW(set, L"System", &kSystemClass, nullptr, nullptr, DICD_GENERATE_ID,
                                 &device) &&
        SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID,
                                          reinterpret_cast<const BYTE*>(kBusHardwareId),
                                          sizeof kBusHardwareId) &&
        SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
    SetupDiDestroyDeviceInfoList(set);
    return created;
}

bool waitFor(bool (*condition)(), DWORD seconds) {
    const ULONGLONG end = GetTickCount64() + seconds * 1000ull;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(50);
    }
}

// The service managers (services.exe) of the prefix. `wineboot -i` starts one of its own even
// when the prefix's session has just started one (every session's first program boots it), and
// both then serve the same pipe: the installer's calls reach either, the driver service created
// through one is unknown to the other ("Failed to open service" in SetupAPI's log), and the bus
// never starts. Only a new session has one again.
int serviceManagers() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL more = Process32FirstW(snapshot, &process); more;
         more = Process32NextW(snapshot, &process)) {
        if (_wcsicmp(process.szExeFile, L"services.exe") == 0) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

int install(const wchar_t* inf) {
    if (busRunning()) return 0;
    if (serviceManagers() > 1) {
        std::fprintf(stderr,
                     "vunit-control: the prefix runs two service managers (wineboot -i started "
                     "one beside the session's own); the drivers install only in a new session\n");
        return 3;
    }
    wchar_t infPath[MAX_PATH];
    if (GetFullPathNameW(inf, MAX_PATH, infPath, nullptr) == 0) return fail("INF path");
    if (!busNodeExists() && !createBusNode()) return fail("cannot create the bus's root node");
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, kBusHardwareId, infPath, INSTALLFLAG_FORCE,
                                            &reboot)) {
        return fail("cannot install the drivers");
    }
    if (!waitFor(busRunning, 30)) return fail("the bus did not start");
    return 0;
}

bool unitListed() { return !virtualUnitInterfacePath().empty(); }

bool unitGone() { return !unitListed(); }

bool unitServed() {
    const HANDLE device = openControl();
    if (device == INVALID_HANDLE_VALUE) return false;
    ULONG state = 0;
    DWORD returned = 0;
    const BOOL asked = DeviceIoControl(device, IOCTL_VU_STATE, nullptr, 0, &state, sizeof state,
                                       &returned, nullptr);
    CloseHandle(device);
    return asked && (state & VU_STATE_SERVED) != 0;
}

int control(DWORD code, const char* what) {
    const HANDLE device = openControl();
    if (device == INVALID_HANDLE_VALUE) return fail("the virtual unit's bus is not running");
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(device, code, nullptr, 0, nullptr, 0, &returned, nullptr);
    CloseHandle(device);
    return done ? 0 : fail(what);
}

int waitCommand(bool (*condition)(), const wchar_t* seconds, const char* what) {
    if (!waitFor(condition, static_cast<DWORD>(std::wcstoul(seconds, nullptr, 10)))) {
        std::fprintf(stderr, "vunit-control: %s\n", what);
        return 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* command = argc > 1 ? argv[1] : L"";
    if (std::wcscmp(command, L"install") == 0 && argc == 3) return install(argv[2]);
    if (std::wcscmp(command, L"plug") == 0)
        return control(IOCTL_VU_PLUG, "cannot plug the unit in");
    if (std::wcscmp(command, L"unplug") == 0)
        return control(IOCTL_VU_UNPLUG, "cannot unplug the unit");
    if (std::wcscmp(command, L"stop") == 0) return control(IOCTL_VU_STOP, "cannot stop the server");
    if (std::wcscmp(command, L"running") == 0) return busRunning() ? 0 : 1;
    if (std::wcscmp(command, L"wait-listed") == 0 && argc == 3) {
        return waitCommand(unitListed, argv[2], "SetupAPI does not list the unit");
    }
    if (std::wcscmp(command, L"wait-served") == 0 && argc == 3) {
        return waitCommand(unitServed, argv[2], "no server took the unit");
    }
    if (std::wcscmp(command, L"wait-gone") == 0 && argc == 3) {
        return waitCommand(unitGone, argv[2], "SetupAPI still lists the unit");
    }
    std::fprintf(stderr,
                 "usage: vunit-control install INF | plug | unplug | stop | running | "
                 "wait-listed SECONDS | wait-gone SECONDS | wait-served SECONDS\n");
    return 2;
}
