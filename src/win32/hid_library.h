// hid.dll, loaded from the system folder only.
//
// hid.dll is not one of Windows' KnownDLLs: had it a place in the import table, a hid.dll lying
// next to the executable (in a Downloads folder, say) would be loaded in its place. So it is
// loaded at first use with LOAD_LIBRARY_SEARCH_SYSTEM32 and its functions resolved by name.
#pragma once

#include <windows.h>

extern "C" {
#include <hidsdi.h>  // MinGW's header has no extern "C" guard of its own
}

struct HidLibrary {
    decltype(&HidD_GetHidGuid) getHidGuid;
    decltype(&HidD_GetAttributes) getAttributes;
    decltype(&HidD_GetPreparsedData) getPreparsedData;
    decltype(&HidD_FreePreparsedData) freePreparsedData;
    decltype(&HidP_GetCaps) getCaps;
    decltype(&HidD_FlushQueue) flushQueue;
};

// The resolved functions; null when hid.dll or one of them cannot be found.
const HidLibrary* hidLibrary();

// Why hidLibrary() is null: the error of the failed load or look-up (never 0); 0 when it is not.
DWORD hidLibraryError();
