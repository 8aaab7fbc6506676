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
        Sleep(kLookIntervalMs);  // this copy has no window: no message waits for it
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
    // Owned by this thread, which lives as long as the process: however a copy ends, the system
    // then hands the name on to the next start, even while the object itself still lingers.
    const HANDLE claim = CreateMutexW(nullptr, TRUE, name);
    // A copy of another user, in another log-on session, holds the name with its own rights; its
    // window is on another desktop, out of reach.
    if (claim == nullptr && GetLastError() == ERROR_ACCESS_DENIED) return false;
    if (claim == nullptr) return true;  // no way to tell: better one copy too many than none
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        claimedName = name;
        return true;
    }
    const DWORD taken = WaitForSingleObject(claim, 0);
    if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
        claimedName = name;  // the copy that held it has ended
        return true;
    }
    CloseHandle(claim);
    if (HWND first = findMarkedWindow(name)) bringToFront(first);
    return false;
}

void markMainWindow(HWND window) {
    if (claimedName != nullptr) SetPropW(window, claimedName, reinterpret_cast<HANDLE>(1));
}

void unmarkMainWindow(HWND window) {
    if (claimedName != nullptr) RemovePropW(window, claimedName);
}
