#include "win32/main_dialog.h"

#include <cstdlib>
#include <string>

#include "ui/update.h"
#include "ui/app.h"
#include "ui/device_presence.h"
#include "ui/main_window.h"
#include "ui/resource_ids.h"
#include "win32/common_controls.h"
#include "win32/device_notices.h"
#include "win32/program_log.h"
#include "win32/resource_language.h"
#include "win32/single_copy.h"
#include "win32/window_windows.h"

namespace {

// The dialog's handlers, defined below the dialog procedure.
void initMainDialog(HWND window);
void paintLogo(HWND window);
void closeMainDialog();

HDEVNOTIFY noticeRegistration = nullptr;
// The one brush that answers the colour query of the red row, made at the first query.
HBRUSH labelBrush = nullptr;

window::Rect toRect(const RECT& rect) {
    return window::Rect{rect.left, rect.top, rect.right, rect.bottom};
}

LogoPlacement placeLogoIn(HWND window, int bitmapWidth, int bitmapHeight) {
    RECT windowRect{};
    RECT groupRect{};
    GetWindowRect(window, &windowRect);
    GetWindowRect(GetDlgItem(window, kVersionGroupBox), &groupRect);
    return placeLogo(bitmapWidth, bitmapHeight, toRect(windowRect), toRect(groupRect),
                     GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYCAPTION));
}

// The logo's resource as the bitmap header and the pixels that follow it (and its colour table,
// which a 24-bit image has none of); false when it is missing.
bool logoResource(const BITMAPINFO** info, const void** pixels) {
    const HINSTANCE instance = window::programInstance();
    const HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(kLogoBitmapId), RT_BITMAP);
    const HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const auto* header = static_cast<const BITMAPINFO*>(LockResource(loaded));
    if (header == nullptr || SizeofResource(instance, found) < sizeof(BITMAPINFOHEADER)) {
        return false;
    }
    const BITMAPINFOHEADER& bitmap = header->bmiHeader;
    DWORD colours = bitmap.biClrUsed;
    if (colours == 0 && bitmap.biBitCount <= 8) colours = 1u << bitmap.biBitCount;
    const DWORD masks = bitmap.biCompression == BI_BITFIELDS ? 3 : 0;
    *info = header;
    *pixels =
        reinterpret_cast<const BYTE*>(header) + bitmap.biSize + (colours + masks) * sizeof(RGBQUAD);
    return true;
}

// The logo is reduced straight from the resource into a bitmap of the size it is drawn, and that
// is drawn with its key colour left out. Making a bitmap of the whole logo first (LoadBitmap)
// would convert all of its 1772 x 263 pixels for the few it shows, and was the larger part of
// the window's first paint.
void drawLogo(HWND window, HDC paintContext) {
    const BITMAPINFO* info = nullptr;
    const void* pixels = nullptr;
    if (!logoResource(&info, &pixels)) return;
    const int width = info->bmiHeader.biWidth;
    const int height = std::abs(info->bmiHeader.biHeight);
    const LogoPlacement logo = placeLogoIn(window, width, height);
    if (logo.width <= 0 || logo.height <= 0) return;
    // 24 bits, the resource's own format: only the pixels picked are read, and none converted.
    BITMAPINFO reducedInfo{};
    reducedInfo.bmiHeader.biSize = sizeof reducedInfo.bmiHeader;
    reducedInfo.bmiHeader.biWidth = logo.width;
    reducedInfo.bmiHeader.biHeight = logo.height;
    reducedInfo.bmiHeader.biPlanes = 1;
    reducedInfo.bmiHeader.biBitCount = 24;
    reducedInfo.bmiHeader.biCompression = BI_RGB;
    void* reducedPixels = nullptr;
    const HBITMAP reduced =
        CreateDIBSection(paintContext, &reducedInfo, DIB_RGB_COLORS, &reducedPixels, nullptr, 0);
    if (reduced == nullptr) return;
    const HDC memory = CreateCompatibleDC(paintContext);
    const HGDIOBJ previous = SelectObject(memory, reduced);
    // Pixels picked, never blended, so that the key colour stays exact at the shapes' edges: as
    // TransparentBlt reduces on Windows. (Wine 8's GdiTransparentBlt, left to reduce, does so in
    // a context of its own whose mode ANDs the dropped pixels into those kept: the logo came out
    // darker there, its white tagline unreadable.)
    SetStretchBltMode(memory, COLORONCOLOR);
    StretchDIBits(memory, 0, 0, logo.width, logo.height, 0, 0, width, height, pixels, info,
                  DIB_RGB_COLORS, SRCCOPY);
    // gdi32's own colour-keyed copy, the same as msimg32's TransparentBlt, which would add a DLL
    // to the import table that is not one of the KnownDLLs.
    GdiTransparentBlt(paintContext, logo.x, logo.y, logo.width, logo.height, memory, 0, 0,
                      logo.width, logo.height, kLogoKeyColour);
    SelectObject(memory, previous);  // a bitmap still selected into a context is not deleted
    DeleteDC(memory);
    DeleteObject(reduced);
}

// WM_CTLCOLORSTATIC: the controller's row red on a transparent background, the rest default.
INT_PTR answerColourQuery(HDC control, HWND controlWindow) {
    if (!isRedControl(GetDlgCtrlID(controlWindow))) return 0;
    SetTextColor(control, kRedRowColour);
    SetBkMode(control, TRANSPARENT);
    if (labelBrush == nullptr) labelBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(labelBrush);
}

INT_PTR onCommand(HWND window, int commandId) {
    switch (commandId) {
        case kCloseButton:  // also sent for Escape and the caption's close box
            closeMainDialog();
            EndDialog(window, kCloseButton);
            return 1;
        case kUpdateButton:
            // The progress bar's library, loaded when an update is asked for rather than at
            // start: loading it (and the theming it sets up) took tens of milliseconds of the
            // window's first appearance under Wine, and only the writing needs it. Loaded here,
            // before the first question, it adds no pause between the update's commands.
            initCommonControls();
            runUpdate();
            return 1;
        default: return 0;
    }
}

INT_PTR onDeviceNotice(WPARAM event, LPARAM lParam) {
    DeviceEventRecord record{};
    std::wstring path;
    const DeviceEventRecord* notice = readDeviceNotice(event, lParam, &record, &path);
    return onDeviceChange(static_cast<std::uint32_t>(event), notice);
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: initMainDialog(window); return 1;
        case WM_PAINT: paintLogo(window); return 0;
        case WM_COMMAND:
            // While the program works with the unit its waits let sent messages through; a command
            // sent then (a click passed on by another program, say) waits for nobody and is
            // dropped.
            if (deviceNoticesHeld()) return 0;
            return onCommand(window, LOWORD(wParam));
        case WM_CTLCOLORSTATIC:
            return answerColourQuery(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DEVICECHANGE: return onDeviceNotice(wParam, lParam);
        case WM_QUERYENDSESSION:
            // The system asks before a shutdown; during an update the answer is no, and the system
            // shows the reason given with the block.
            if (!window::isShutdownBlocked()) return 0;
            SetWindowLongPtrW(window, DWLP_MSGRESULT, FALSE);
            return 1;
        case WM_ENDSESSION:
            // The session ends and the process may be ended without another message: the log is
            // written now, as at the program's end.
            if (wParam != FALSE) finishProgramLog();
            return 0;
        default: return 0;
    }
}

void initMainDialog(HWND window) {
    window::setMainWindow(window);
    markMainWindow(window);
    const HICON icon = LoadIconW(window::programInstance(), MAKEINTRESOURCEW(kIconGroupId));
    SetClassLongPtrW(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    showWindowTexts();
    noticeRegistration = registerForHidNotices(window);
    if (noticeRegistration == nullptr) {
        reportRegistrationFailure();
        closeMainDialog();
        EndDialog(window, 1);
        return;
    }
    runStartupProbe();
}

void paintLogo(HWND window) {
    PAINTSTRUCT paint{};
    const HDC context = BeginPaint(window, &paint);
    if (context != nullptr) drawLogo(window, context);
    EndPaint(window, &paint);
}

void closeMainDialog() {
    unmarkMainWindow(window::mainWindowHandle());
    if (noticeRegistration != nullptr) {
        UnregisterDeviceNotification(noticeRegistration);
        noticeRegistration = nullptr;
    }
    closeSession(appSession());
    if (labelBrush != nullptr) {
        DeleteObject(labelBrush);
        labelBrush = nullptr;
    }
}

}  // namespace

int runProgram(HINSTANCE programInstance) {
    const WORD language = userResourceLanguage();
    window::setProgram(programInstance, language);
    closeSession(appSession());
    const LPCDLGTEMPLATEW dialog = dialogTemplateIn(programInstance, language, kMainDialogId);
    if (dialog != nullptr) {
        // The program's message loop: it waits for the next message, which needs no bound.
        DialogBoxIndirectParamW(programInstance, dialog, nullptr, mainDialogProc, 0);
    }
    return 0;
}
