#include "win32/hid_library.h"

namespace {

template <typename Function>
bool resolve(HMODULE module, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *function != nullptr;
}

HidLibrary load() {
    HidLibrary library{};
    HMODULE module = LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return library;
    const bool complete = resolve(module, "HidD_GetHidGuid", &library.getHidGuid) &&
                          resolve(module, "HidD_GetAttributes", &library.getAttributes) &&
                          resolve(module, "HidD_GetPreparsedData", &library.getPreparsedData) &&
                          resolve(module, "HidD_FreePreparsedData", &library.freePreparsedData) &&
                          resolve(module, "HidP_GetCaps", &library.getCaps) &&
                          resolve(module, "HidD_FlushQueue", &library.flushQueue);
    if (!complete) library = HidLibrary{};
    return library;  // the module stays loaded for the life of the process
}

}  // namespace

const HidLibrary* hidLibrary() {
    static const HidLibrary library = load();
    return library.getHidGuid != nullptr ? &library : nullptr;
}
