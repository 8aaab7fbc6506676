// vunit-poller: another program that holds the programming unit open and reads its input reports
// for as long as it runs, as a second tool on the same PC might. It counts the reports it reads
// in FILE (rewritten after each one), so that a test can see that it did read beside the updater.
//
//   vunit-poller FILE
#include <windows.h>

#include <cstdio>
#include <vector>

#include "device/hid.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vunit-poller FILE\n");
        return 2;
    }
    std::vector<hid::DeviceInfo> units;
    hid::Error error = 0;
    if (!hid::enumerateDevices(0x5EA7, 0, &units, &error) || units.empty()) {
        std::fprintf(stderr, "vunit-poller: no unit (error %lu)\n",
                     static_cast<unsigned long>(error));
        return 1;
    }
    const hid::OpenDevice unit(hid::openDevice(units.front().path, &error));
    if (!unit) {
        std::fprintf(stderr, "vunit-poller: cannot open the unit (error %lu)\n",
                     static_cast<unsigned long>(error));
        return 1;
    }
    unsigned long reports = 0;
    std::uint8_t report[64];
    for (;;) {
        if (!hid::readReport(*unit, report, units.front().inputReportLength, 1000, &error)) {
            if (error == ERROR_TIMEOUT) continue;
            return 0;  // the unit is gone
        }
        ++reports;
        if (std::FILE* file = std::fopen(argv[1], "wb")) {
            std::fprintf(file, "%lu\n", reports);
            std::fclose(file);
        }
    }
}
