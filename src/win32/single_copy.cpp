#include "win32/single_copy.h"

namespace {

// The first copy may still be starting: its window is looked for this long.
constexpr DWORD kFindWindowMs = 5000;
constexpr DWORD kLookIntervalMs = 50;

const wchar_t* claimedName = nullptr;

struct Search {
    const wchar_t* name;
    HWND found;
};

BOOL CALLBACK takeMarkedWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    if (GetPropW(window, search->name) == nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

HWND findMarkedWindow(const wchar_t* name) {
    const ULONGLONG deadline = GetTickCount64() + kFindWindowMs;
    for (;;) {
        Search search{name, nullptr};
        EnumWindows(takeMarkedWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount64() >= deadline) return search.found;
        Sleep(kLookIntervalMs);
    }
}

// Neither call waits for the other copy's thread, which may be busy with an update: the window
// comes up as soon as that thread looks at its queue. A box open over the window comes first.
void bringToFront(HWND window) {
    if (IsIconic(window)) ShowWindowAsync(window, SW_RESTORE);
    SetForegroundWindow(GetLastActivePopup(window));
}

}  // namespace

bool claimOnlyCopy(const wchar_t* name) {
    // Never closed: the claim lasts as long as the process.
    const HANDLE claim = CreateMutexW(nullptr, FALSE, name);
    if (claim != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) {
        claimedName = name;
        return true;
    }
    if (claim == nullptr) return true;  // no way to tell: better one copy too many than none
    if (HWND first = findMarkedWindow(name)) bringToFront(first);
    return false;
}

void markMainWindow(HWND window) {
    if (claimedName != nullptr) SetPropW(window, claimedName, reinterpret_cast<HANDLE>(1));
}

void unmarkMainWindow(HWND window) {
    if (claimedName != nullptr) RemovePropW(window, claimedName);
}
