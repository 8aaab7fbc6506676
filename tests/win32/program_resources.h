// The built terval-updater.exe opened as data, for tests that read its resources. Nothing of the
// program runs. UPDATER_PROGRAM_FILE is the executable's path, set by the build.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring programPath() {
    const std::string path = UPDATER_PROGRAM_FILE;
    std::wstring wide(path.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                           &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return wide;
}

// The program's module handle for the resource functions; null if it cannot be opened. Opened
// once and kept for the whole test run.
inline HMODULE programResources() {
    static const HMODULE module = LoadLibraryExW(
        programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return module;
}
