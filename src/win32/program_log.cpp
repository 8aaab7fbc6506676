#include "win32/program_log.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/program_title.h"
#include "flash/firmware_image.h"
#include "win32/utf8.h"

namespace {

// %LOCALAPPDATA%\BELMARODA\TERVAL 160 LX Updater\<subfolder>; empty without LOCALAPPDATA (the
// log is then left out). %LOCALAPPDATA% lies in the user's profile, which the system makes
// readable by that user (and the administrators) alone: the logs need no rights of their own.
std::string logFolder(const char* subfolder) {
    const wchar_t* localAppData = _wgetenv(L"LOCALAPPDATA");
    std::string folder;
    if (localAppData == nullptr || !toUtf8(localAppData, &folder) || folder.empty()) return "";
    return folder + "\\BELMARODA\\TERVAL 160 LX Updater\\" + subfolder;
}

// The version that the system itself reports (GetVersionEx answers what the manifest allows),
// and the processor's architecture.
std::string systemName() {
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto rtlGetVersion =
        ntdll != nullptr ? reinterpret_cast<GetVersion>(
                               reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                         : nullptr;
    if (rtlGetVersion == nullptr || rtlGetVersion(&version) != 0) return "Windows";
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    const char* machine = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? "x64"
                          : system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ? "arm64"
                          : system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ? "x86"
                                                                                          : "?";
    char text[96];
    std::snprintf(text, sizeof text, "Windows %lu.%lu.%lu %s", version.dwMajorVersion,
                  version.dwMinorVersion, version.dwBuildNumber, machine);
    return text;
}

}  // namespace

sessionlog::Log& programLog() {
    static auto* log = new sessionlog::Log;
    return *log;
}

void startProgramLog(const char* program, const char* subfolder, Clock& clock) {
    const FirmwareImage image = firmwareImage();
    const sessionlog::Header header{
        std::string(program) + " " + programVersion(),
        image.expectedDigest != nullptr ? hexDigest(*image.expectedDigest) : std::string("unknown"),
        systemName()};
    programLog().start(header, {"", logFolder(subfolder)}, clock);
}

void finishProgramLog() { programLog().write(); }
