// vunit-update-loop: the update's conversation with the virtual unit in its plainest form, the
// yardstick for the product's own update through the same HID stack (tools/bench): the requests
// and waits of tests/benchmark/update_loop_steps.h. Each exchange is one overlapped WriteFile and
// one overlapped ReadFile on one handle, each awaited with WaitForSingleObject on an event made
// once; the waits are Sleep. Nothing else: no flush of the input, no message pumping, no log.
//
//   vunit-update-loop IMAGE FIGURES
//
// Writes into FIGURES, for the blocks, the mean time of a write from its start to its end, of a
// read from the write's end to the reply, and of a 20 ms Sleep, in microseconds on the performance
// counter. Exit 0 when every request was written and answered without a refusal, 1 when not, 2 when
// it cannot run.
#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "benchmark/update_loop_steps.h"
#include "control_codes.h"
#include "unit_interface.h"

namespace {

constexpr DWORD kTransferTimeoutMs = 10000;

std::wstring unitPath() {
    for (int attempt = 0; attempt < 300; ++attempt, Sleep(100)) {
        const std::wstring path = virtualUnitInterfacePath();
        if (!path.empty()) return path;
    }
    return L"";
}

std::int64_t nowMicroseconds() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000000 / frequency.QuadPart;
}

// One overlapped transfer awaited on its event. A transfer that does not end in time ends the
// program: its OVERLAPPED and buffer would have to outlive it.
bool transfer(HANDLE unit, OVERLAPPED* overlapped, bool write, std::uint8_t* report) {
    ResetEvent(overlapped->hEvent);
    const BOOL started = write ? WriteFile(unit, report, VU_REPORT_BYTES, nullptr, overlapped)
                               : ReadFile(unit, report, VU_REPORT_BYTES, nullptr, overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(overlapped->hEvent, kTransferTimeoutMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "vunit-update-loop: a transfer did not end in time\n");
        std::exit(1);
    }
    DWORD moved = 0;
    return GetOverlappedResult(unit, overlapped, &moved, FALSE) != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::uint8_t> image;
    if (argc != 3 || !update_loop::readImage(argv[1], &image)) {
        std::fprintf(stderr, "usage: vunit-update-loop IMAGE FIGURES\n");
        return 2;
    }
    const std::wstring path = unitPath();
    const HANDLE unit = path.empty() ? INVALID_HANDLE_VALUE
                                     : CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (unit == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vunit-update-loop: cannot open the unit (error %lu)\n",
                     GetLastError());
        return 2;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    std::int64_t writeUs = 0, readUs = 0, sleepUs = 0, blocks = 0;
    for (update_loop::Step& step : update_loop::updateSteps(VU_REPORT_BYTES, image)) {
        std::uint8_t reply[VU_REPORT_BYTES] = {};
        const std::int64_t started = nowMicroseconds();
        if (!transfer(unit, &overlapped, true, step.request.data())) {
            std::fprintf(stderr, "vunit-update-loop: request 0x%02x not written (error %lu)\n",
                         step.request[1], GetLastError());
            return 1;
        }
        const std::int64_t written = nowMicroseconds();
        if (step.beforeReadMs != 0) Sleep(step.beforeReadMs);
        if (!transfer(unit, &overlapped, false, reply)) {
            std::fprintf(stderr, "vunit-update-loop: no reply to 0x%02x (error %lu)\n",
                         step.request[1], GetLastError());
            return 1;
        }
        const std::int64_t answered = nowMicroseconds();
        if (reply[0] != 0x02 || reply[1] == 0xFF) {
            std::fprintf(stderr, "vunit-update-loop: request 0x%02x refused\n", step.request[1]);
            return 1;
        }
        if (step.afterMs != 0) Sleep(step.afterMs);
        if (step.block) {
            ++blocks;
            writeUs += written - started;
            readUs += answered - written;
            sleepUs += nowMicroseconds() - answered;
        }
    }
    CloseHandle(overlapped.hEvent);
    CloseHandle(unit);
    std::FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) return 2;
    std::fprintf(file, "loop_write_us %lld\nloop_read_us %lld\nloop_sleep_us %lld\n",
                 static_cast<long long>(writeUs / blocks), static_cast<long long>(readUs / blocks),
                 static_cast<long long>(sleepUs / blocks));
    return std::fclose(file) == 0 ? 0 : 2;
}
