#include "win32/dll_search.h"

#include <windows.h>

bool loadDllsFromSystemFolderOnly() {
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return false;
    // msimg32 is no KnownDLL, and the system's theming code asks for it by name when the first
    // themed control paints. Loaded from the system folder now, it is the copy that every later
    // request by name gets, also from a loader that would search the program's folder for such a
    // request (Wine's does for the imports that system DLLs load late).
    LoadLibraryExW(L"msimg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return true;
}
