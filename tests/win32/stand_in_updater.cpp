// A stand-in for the updater, with the demo's simulated bench around it: a dialog with the
// updater's control IDs that shows, plainly, what reaches it. The driver's and the bench's tests
// work it, so that they test the driver and the bench and not the updater.
//
// Controls: 2 Close; 1002 opens a message box (OK/Cancel) and shows the answer in the Hint box;
// 1003 blocks the UI thread for kBusyMs, as a device exchange or an update does; 40004 the Hint
// box: "unit found" or "no unit" after the start-up probe, then the notices and answers;
// 40013 the last device-change notice: "<event> <device type> <HID class or not> <path>".
#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <string>

#include "device/device_session.h"
#include "stand_in_updater.h"
#include "win32/demo_bench.h"

namespace {

constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The session on the demo's unit, made once the demo's bench has started.
DeviceSession& session() {
    static DeviceSession standIn({demoBackend(), demoClock()});
    return standIn;
}

void addControl(HWND dialog, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                int y) {
    CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, 10, y, 380, 24, dialog,
                    reinterpret_cast<HMENU>(INT_PTR{id}), GetModuleHandleW(nullptr), nullptr);
}

void addControls(HWND dialog) {
    addControl(dialog, L"BUTTON", L"Close", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 10);
    addControl(dialog, L"BUTTON", L"Ask", BS_PUSHBUTTON | WS_TABSTOP, kStandInAskButton, 40);
    addControl(dialog, L"BUTTON", L"Busy", BS_PUSHBUTTON | WS_TABSTOP, kStandInBusyButton, 70);
    addControl(dialog, L"EDIT", L"", ES_MULTILINE | ES_READONLY | WS_BORDER, kStandInHintBox, 100);
    addControl(dialog, L"STATIC", L"", 0, kStandInNoticeText, 130);
}

std::wstring noticeText(WPARAM event, const DEV_BROADCAST_HDR* header) {
    wchar_t head[64];
    std::swprintf(head, 64, L"0x%04x %lu ", static_cast<unsigned>(event),
                  static_cast<unsigned long>(header->dbch_devicetype));
    std::wstring text = head;
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return text;
    const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    text += IsEqualGUID(record->dbcc_classguid, kHidInterfaceClass) ? L"HID " : L"other ";
    return text + record->dbcc_name;
}

void onDeviceChange(HWND dialog, WPARAM event, LPARAM lParam) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    SetDlgItemTextW(dialog, kStandInNoticeText, noticeText(event, header).c_str());
    if (event == DBT_DEVICEARRIVAL) {
        SetDlgItemTextW(dialog, kStandInHintBox,
                        openSession(session()) == kSuccess ? L"unit found" : L"no unit");
    } else if (isOpen(session())) {
        closeSession(session());
        SetDlgItemTextW(dialog, kStandInHintBox, L"unit removed");
    }
}

void ask(HWND dialog) {
    const int answer =
        MessageBoxW(dialog, kStandInBoxText, kStandInBoxCaption, MB_OKCANCEL | MB_ICONINFORMATION);
    SetDlgItemTextW(dialog, kStandInHintBox, (L"answered " + std::to_wstring(answer)).c_str());
}

INT_PTR CALLBACK standInProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowTextW(dialog, kStandInTitle);
            addControls(dialog);
            SetDlgItemTextW(dialog, kStandInHintBox,
                            openSession(session()) == kSuccess ? L"unit found" : L"no unit");
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                closeSession(session());
                EndDialog(dialog, IDCANCEL);
            } else if (LOWORD(wParam) == kStandInAskButton) {
                ask(dialog);
            } else if (LOWORD(wParam) == kStandInBusyButton) {
                Sleep(kStandInBusyMs);
                SetDlgItemTextW(dialog, kStandInHintBox, L"done");
            }
            return TRUE;
        case WM_DEVICECHANGE: onDeviceChange(dialog, wParam, lParam); return TRUE;
        default: return FALSE;
    }
}

// A dialog template without items: the controls are made at WM_INITDIALOG.
struct alignas(4) EmptyDialog {
    DLGTEMPLATE dialog;
    WORD menu, windowClass, title;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    startDemoBench();
    EmptyDialog layout{};
    layout.dialog.style =
        DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    layout.dialog.cx = 270;
    layout.dialog.cy = 120;
    DialogBoxIndirectParamW(instance, &layout.dialog, nullptr, standInProc, 0);
    finishDemoBench();
    return 0;
}
