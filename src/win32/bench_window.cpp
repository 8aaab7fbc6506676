// Two threads of the simulator's own, beside the updater's one user-interface thread:
//
// - The bench thread runs the bench window, so that a person can pull the unit at any moment,
//   also while the updater's thread is blocked in a device exchange or in an update's transfer.
//   It changes the simulated bench under sim::benchMutex(), which the simulated HID operations
//   hold for each call: a unit pulled mid-transfer makes the updater's next exchange fail, as the
//   hardware would.
// - The courier thread delivers the arrival and removal notices. Windows sends WM_DEVICECHANGE
//   to a registered window as a sent message, which its thread handles whenever it looks at its
//   queue, and holds while that thread is busy. A cross-thread SendMessageW is exactly that; the
//   courier waits for it so that the bench window stays responsive, and it delivers the notices
//   in the order the person made them. (SendNotifyMessageW would not wait, but Windows refuses
//   to send a message that carries a pointer without waiting.)
#include "win32/bench_window.h"

#include <dbt.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "win32/utf8.h"

namespace {

// The HID device-interface class (GUID_DEVINTERFACE_HID, what HidD_GetHidGuid returns): the class
// that the updater registers its window for.
constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchIntervalMs = 250;
constexpr int kClientWidth = 390;
constexpr int kClientHeight = 250;
constexpr int kGap = 10;
constexpr int kListLeft = 120;

// ---- The courier: device-change notices on their way to the main dialog ----

struct Notice {
    WPARAM event;  // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE
    std::wstring path;
};

struct Courier {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Notice> notices;
    bool stopping = false;
    DWORD uiThread = 0;
    HANDLE thread = nullptr;
};

// Never destroyed: the bench thread lives to the end of the process, past static destruction.
Courier& courier = *new Courier;

BOOL CALLBACK takeMainDialog(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770" && GetWindow(window, GW_OWNER) == nullptr) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The updater's main dialog: the dialog of the UI thread that no other window owns (message
// boxes and the progress window are owned by it). Null before it exists and after it has ended.
HWND mainDialog() {
    HWND found = nullptr;
    EnumThreadWindows(courier.uiThread, takeMainDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Windows names the interface in its notices in upper case, while the enumeration gives it in
// lower case; the updater has to compare the two without regard to case.
std::wstring noticePath(std::wstring path) {
    for (wchar_t& c : path) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return path;
}

void deliver(const Notice& notice) {
    HWND window = mainDialog();
    if (window == nullptr) return;  // no window has registered for notices (yet, or any more)
    const std::wstring path = noticePath(notice.path);
    const std::size_t size =
        offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (path.size() + 1) * sizeof(wchar_t);
    std::vector<unsigned char> storage(size, 0);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_classguid = kHidInterfaceClass;
    path.copy(record->dbcc_name, path.size());
    SendMessageW(window, WM_DEVICECHANGE, notice.event, reinterpret_cast<LPARAM>(record));
}

DWORD WINAPI runCourier(void*) {
    for (;;) {
        Notice notice;
        {
            std::unique_lock<std::mutex> hold(courier.mutex);
            // Idle until there is a notice to deliver or the demo ends: no bound needed.
            courier.wake.wait(hold, [] { return courier.stopping || !courier.notices.empty(); });
            if (courier.stopping) return 0;
            notice = courier.notices.front();
            courier.notices.pop_front();
        }
        deliver(notice);
    }
}

// The bench names its devices in UTF-8, as the enumeration does; Windows' notices name them in
// UTF-16.
void sendNotice(WPARAM event, const std::string& path) {
    Notice notice{event, {}};
    toWide(path, &notice.path);
    {
        const std::lock_guard<std::mutex> hold(courier.mutex);
        courier.notices.push_back(std::move(notice));
    }
    courier.wake.notify_one();
}

// ---- The bench window ----

struct Bench {
    sim::UnitSetup setup;
    sim::Device unit;     // the unit while it is off the bench, with whatever was written to it
    unsigned unitId = 0;  // its ID on the bench while plugged in
    HWND window = nullptr;
    bool placed = false;  // moved beside the main dialog
    std::wstring status;
};

Bench& bench = *new Bench;  // as the courier: it outlives static destruction

bool pluggedIn() { return bench.unitId != 0; }

HWND control(int id) { return GetDlgItem(bench.window, id); }

void plugIn() {
    if (pluggedIn()) return;
    {
        const std::lock_guard<std::mutex> hold(sim::benchMutex());
        bench.unitId = sim::plugIn(bench.unit);
    }
    sendNotice(DBT_DEVICEARRIVAL, bench.unit.path);
}

// Keeps the unit as it leaves the bench: a controller that was updated stays updated, one whose
// update was cut off keeps what it had got. The unit itself loses power, and with it its lock.
void unplug() {
    if (!pluggedIn()) return;
    {
        const std::lock_guard<std::mutex> hold(sim::benchMutex());
        if (const sim::Device* device = sim::findDevice(bench.unitId)) bench.unit = *device;
        sim::unplug(bench.unitId);
    }
    bench.unit.unit.systemLocked = false;
    bench.unitId = 0;
    sendNotice(DBT_DEVICEREMOVECOMPLETE, bench.unit.path);
}

std::wstring firmwareText(std::uint16_t version) {
    if (version == 0xFFFF) return L"none";
    return std::to_wstring(version >> 8) + L"." + std::to_wstring(version & 0xFF);
}

// What the bench says about the unit; the controller's firmware is read from the bench, so that
// an update is seen to take effect.
std::wstring statusText() {
    if (!pluggedIn()) {
        return L"The unit is unplugged. Choose what hangs on it above, then plug it in.";
    }
    std::wstring text = L"The unit is plugged in";
    {
        const std::lock_guard<std::mutex> hold(sim::benchMutex());
        const sim::Device* device = sim::findDevice(bench.unitId);
        if (device != nullptr && device->unit.mode == 0 && device->unit.esc.status == 3) {
            text +=
                L" (controller firmware: " + firmwareText(device->unit.esc.firmwareVersion) + L")";
        }
    }
    return text + L". Unplug it to change the choices above.";
}

void showState() {
    EnableWindow(control(kBenchProductList), !pluggedIn());
    EnableWindow(control(kBenchAttachmentList), !pluggedIn());
    EnableWindow(control(kBenchFirmwareList), !pluggedIn());
    EnableWindow(control(kBenchPlugInButton), !pluggedIn());
    EnableWindow(control(kBenchUnplugButton), pluggedIn());
    const std::wstring status = statusText();
    if (status != bench.status) {
        bench.status = status;
        SetWindowTextW(control(kBenchStatusText), status.c_str());
    }
}

int selection(int listId) {
    return static_cast<int>(SendMessageW(control(listId), CB_GETCURSEL, 0, 0));
}

void takeChoices() {
    bench.setup.product = static_cast<sim::Product>(selection(kBenchProductList));
    bench.setup.attachment = static_cast<sim::Attachment>(selection(kBenchAttachmentList));
    bench.setup.firmware = static_cast<sim::EscFirmware>(selection(kBenchFirmwareList));
    bench.unit = sim::unitFor(bench.setup);
}

// Beside the main dialog: on its right if the screen has room there, else on its left, else
// below it.
void placeBesideMainDialog() {
    HWND main = mainDialog();
    if (main == nullptr || !IsWindowVisible(main)) return;
    RECT mainRect{};
    RECT own{};
    GetWindowRect(main, &mainRect);
    GetWindowRect(bench.window, &own);
    const int width = own.right - own.left;
    int x = mainRect.right + kGap;
    int y = mainRect.top;
    if (x + width > GetSystemMetrics(SM_CXSCREEN)) {
        x = mainRect.left - kGap - width;
        if (x < 0) {
            x = mainRect.left;
            y = mainRect.bottom + kGap;
        }
    }
    SetWindowPos(bench.window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    bench.placed = true;
}

HWND addControl(const wchar_t* className, const wchar_t* text, DWORD style, int id, int x, int y,
                int width, int height) {
    HWND made = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                                height, bench.window, reinterpret_cast<HMENU>(INT_PTR{id}),
                                GetModuleHandleW(nullptr), nullptr);
    SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    return made;
}

void addList(const wchar_t* label, int id, int y, const sim::Choice* choices, std::size_t count,
             int selected) {
    addControl(L"STATIC", label, 0, -1, kGap, y + 4, kListLeft - 2 * kGap, 20);
    HWND list = addControl(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, id,
                           kListLeft, y, kClientWidth - kListLeft - kGap, 200);
    for (std::size_t i = 0; i < count; ++i) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choices[i].label));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void addControls() {
    addControl(L"STATIC",
               L"This demo has no hardware. This window stands in for the programming unit on "
               L"the USB port and for what hangs on it.",
               0, -1, kGap, kGap, kClientWidth - 2 * kGap, 32);
    addList(L"Programming unit:", kBenchProductList, 52, sim::kProductChoices,
            sim::kProductChoiceCount, static_cast<int>(bench.setup.product));
    addList(L"On the unit:", kBenchAttachmentList, 84, sim::kAttachmentChoices,
            sim::kAttachmentChoiceCount, static_cast<int>(bench.setup.attachment));
    addList(L"Controller firmware:", kBenchFirmwareList, 116, sim::kFirmwareChoices,
            sim::kFirmwareChoiceCount, static_cast<int>(bench.setup.firmware));
    addControl(L"BUTTON", L"Plug in USB", BS_PUSHBUTTON | WS_TABSTOP, kBenchPlugInButton, kGap, 156,
               130, 28);
    addControl(L"BUTTON", L"Unplug USB", BS_PUSHBUTTON | WS_TABSTOP, kBenchUnplugButton, kGap + 140,
               156, 130, 28);
    addControl(L"STATIC", L"", 0, kBenchStatusText, kGap, 200, kClientWidth - 2 * kGap, 40);
}

void onCommand(int id, int code) {
    if (id == kBenchPlugInButton && code == BN_CLICKED) plugIn();
    if (id == kBenchUnplugButton && code == BN_CLICKED) unplug();
    if ((id == kBenchProductList || id == kBenchAttachmentList || id == kBenchFirmwareList) &&
        code == CBN_SELCHANGE && !pluggedIn()) {
        takeChoices();
    }
    showState();
}

LRESULT CALLBACK benchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            bench.window = window;
            addControls();
            showState();
            SetTimer(window, kWatchTimer, kWatchIntervalMs, nullptr);
            return 0;
        case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_TIMER:
            if (!bench.placed) placeBesideMainDialog();
            showState();
            return 0;
        case WM_DESTROY:
            KillTimer(window, kWatchTimer);
            PostQuitMessage(0);
            return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND makeBenchWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = benchWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kBenchWindowClass;
    RegisterClassExW(&windowClass);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT rect{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&rect, style, FALSE);
    const int width = rect.right - rect.left;
    // Until the main dialog shows, at the right edge of the screen, out of its way.
    const int x = GetSystemMetrics(SM_CXSCREEN) - width - kGap;
    return CreateWindowExW(0, kBenchWindowClass, L"Simulated bench: programming unit on USB", style,
                           x > 0 ? x : 0, 4 * kGap, width, rect.bottom - rect.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

DWORD WINAPI runBench(void* windowMade) {
    HWND window = makeBenchWindow();
    SetEvent(windowMade);
    if (window == nullptr) return 1;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message)) continue;  // tab between the controls
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// Waits for thread to end while handling the messages sent to this thread, so that the courier,
// should it be sending a notice here right now, is answered instead of waited for forever. No
// bound is needed: told to stop, the courier ends after at most the notice it is delivering.
void awaitHandlingSentMessages(HANDLE thread) {
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(thread);
}

}  // namespace

void openBenchWindow(const sim::UnitSetup& setup, DWORD uiThread) {
    bench.setup = setup;
    bench.unit = sim::unitFor(setup);
    if (setup.pluggedIn) {
        const std::lock_guard<std::mutex> hold(sim::benchMutex());
        bench.unitId = sim::plugIn(bench.unit);
    }
    courier.uiThread = uiThread;
    courier.thread = CreateThread(nullptr, 0, runCourier, nullptr, 0, nullptr);
    HANDLE windowMade = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, runBench, windowMade, 0, nullptr);
    if (thread != nullptr) {
        // No bound needed: the bench thread sets the event right after CreateWindowExW, however
        // that ends, and before the main window exists; its end would end the wait too.
        const HANDLE made[] = {windowMade, thread};
        WaitForMultipleObjects(2, made, FALSE, INFINITE);
        CloseHandle(thread);
    }
    CloseHandle(windowMade);
}

void stopDeviceNotices() {
    {
        const std::lock_guard<std::mutex> hold(courier.mutex);
        courier.stopping = true;
    }
    courier.wake.notify_all();
    if (courier.thread != nullptr) awaitHandlingSentMessages(courier.thread);
    courier.thread = nullptr;
}
