// The program's name and version, the same in both languages and both faces.
#pragma once

// The model that this updater serves.
constexpr const wchar_t* kModelName = L"TERVAL 160 LX";

// The program's name and version, the same in both languages: "BELMARODA <model> FW Updater 1.0
// Bootloaderupdater", the main window's title. Built into buffer (capacity in characters,
// terminator included); its length, or -1.
constexpr int kTitleBufferSize = 256;
int buildProgramTitle(wchar_t* buffer, int capacity);

// The program's version alone, "1.0": what --version and the logs' headers name.
const char* programVersion();
