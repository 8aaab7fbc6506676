#include "win32/common_controls.h"

#include <windows.h>

bool initCommonControls() {
    const HMODULE module = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return false;
    using InitFunction = void(WINAPI*)();
    const auto init = reinterpret_cast<InitFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "InitCommonControls")));
    if (init == nullptr) return false;
    init();
    return true;
}
