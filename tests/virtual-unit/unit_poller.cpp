// vunit-poller: another program that holds the programming unit open beside the updater, as a
// second tool on the same PC might. By default it opens the unit for reading only and reads its
// input reports for as long as it runs, counting them in FILE (rewritten after each one), so that
// a test can see that it did read beside the updater. With --writer it opens the unit for reading
// and writing, as a tool that sends its own requests would, writes "open" into FILE and holds it
// until it is ended; "open, not enforced" when a second handle that lets nobody else write opens
// beside it all the same (a HID stack that does not enforce share modes: Wine's, for one).
//
//   vunit-poller [--writer] FILE
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "win32/hid_windows.h"
#include "win32/utf8.h"

namespace {

void writeFile(const char* fileName, const char* text) {
    if (std::FILE* file = std::fopen(fileName, "wb")) {
        std::fputs(text, file);
        std::fclose(file);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool writer = argc == 3 && std::strcmp(argv[1], "--writer") == 0;
    if (argc != 2 && !writer) {
        std::fprintf(stderr, "usage: vunit-poller [--writer] FILE\n");
        return 2;
    }
    const char* fileName = argv[argc - 1];
    hid::WindowsBackend backend;
    std::vector<hid::DeviceInfo> units;
    hid::Error error = 0;
    if (!backend.enumerate(0x5EA7, 0, &units, &error) || units.empty()) {
        std::fprintf(stderr, "vunit-poller: no unit (error %lu)\n",
                     static_cast<unsigned long>(error));
        return 1;
    }
    if (writer) {
        const hid::OpenDevice unit = backend.open(units.front().path, &error);
        if (!unit) {
            std::fprintf(stderr, "vunit-poller: cannot open the unit (error %lu)\n",
                         static_cast<unsigned long>(error));
            return 1;
        }
        std::wstring path;
        const HANDLE alone = toWide(units.front().path, &path)
                                 ? CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                                 : INVALID_HANDLE_VALUE;
        if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);
        writeFile(fileName, alone != INVALID_HANDLE_VALUE ? "open, not enforced\n" : "open\n");
        for (;;) Sleep(INFINITE);
    }
    std::wstring path;
    if (!toWide(units.front().path, &path)) return 1;
    // Reading only: the updater may still open the unit so that nobody else can write to it.
    const HANDLE unit = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (unit == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vunit-poller: cannot open the unit (error %lu)\n", GetLastError());
        return 1;
    }
    unsigned long reports = 0;
    std::uint8_t report[64];
    const DWORD length = units.front().inputReportLength;
    if (length == 0 || length > sizeof report) return 1;
    for (;;) {
        DWORD read = 0;
        // Waits for the next report; fails once the unit is gone.
        if (!ReadFile(unit, report, length, &read, nullptr)) return 0;
        ++reports;
        writeFile(fileName, (std::to_string(reports) + "\n").c_str());
    }
}
