// A stand-in for a system DLL, planted next to an executable to show that it is not loaded.
// Loaded, it leaves a marker file beside itself and makes the process exit with code 86.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length > 0 && length + 8 < MAX_PATH) {
        lstrcatW(path, L".loaded");
        HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
    ExitProcess(86);
}

// The names a caller would look for, so that the stand-in would be taken for the real thing.
extern "C" __declspec(dllexport) void HidD_GetHidGuid(void*) {}
extern "C" __declspec(dllexport) int HidD_GetAttributes(void*, void*) { return 0; }
extern "C" __declspec(dllexport) int HidD_GetPreparsedData(void*, void*) { return 0; }
extern "C" __declspec(dllexport) int HidD_FreePreparsedData(void*) { return 0; }
extern "C" __declspec(dllexport) long HidP_GetCaps(void*, void*) { return 0; }
