// The yardstick for the program's start-up: a modal dialog with one text and a Close button and
// nothing else, built with the same compiler, flags, static runtime and manifest as the program.
#include <windows.h>

namespace {

constexpr int kDialogId = 1;

INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    DialogBoxParamW(instance, MAKEINTRESOURCEW(kDialogId), nullptr, dialogProc, 0);
    return 0;
}
