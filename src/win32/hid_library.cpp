#include "win32/hid_library.h"

namespace {

template <typename Function>
bool resolve(HMODULE module, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *function != nullptr;
}

struct LoadedLibrary {
    HidLibrary functions;
    DWORD error;  // of the load or the look-up that failed; 0 when all went well
};

DWORD failureError() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_MOD_NOT_FOUND;
}

LoadedLibrary load() {
    HidLibrary library{};
    HMODULE module = LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return {library, failureError()};
    const bool complete = resolve(module, "HidD_GetHidGuid", &library.getHidGuid) &&
                          resolve(module, "HidD_GetAttributes", &library.getAttributes) &&
                          resolve(module, "HidD_GetPreparsedData", &library.getPreparsedData) &&
                          resolve(module, "HidD_FreePreparsedData", &library.freePreparsedData) &&
                          resolve(module, "HidP_GetCaps", &library.getCaps) &&
                          resolve(module, "HidD_FlushQueue", &library.flushQueue);
    if (!complete) return {HidLibrary{}, failureError()};
    return {library, ERROR_SUCCESS};  // the module stays loaded for the life of the process
}

const LoadedLibrary& loaded() {
    static const LoadedLibrary library = load();
    return library;
}

}  // namespace

const HidLibrary* hidLibrary() {
    return loaded().error == ERROR_SUCCESS ? &loaded().functions : nullptr;
}

DWORD hidLibraryError() { return loaded().error; }
