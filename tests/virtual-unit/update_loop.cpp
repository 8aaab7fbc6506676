// vunit-update-loop: the update's conversation with the virtual unit in its plainest form, the
// yardstick for the product's own update through the same HID stack (tools/bench). The same
// requests in the same order with the same waits as the update (src/flash/update_procedure.cpp):
// lock, 20 ms, write protection off, 20 ms, erase (its reply read 1000 ms after it), 4000 ms,
// 20 ms, address, 20 ms, every block of the image followed by 20 ms, protection on, release. Each
// exchange is one overlapped WriteFile and one overlapped ReadFile on one handle, each awaited with
// WaitForSingleObject on an event made once; the waits are Sleep. Nothing else: no flush of the
// input, no message pumping, no log.
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

#include "control_codes.h"
#include "unit_interface.h"

namespace {

constexpr DWORD kTransferTimeoutMs = 10000;
constexpr std::size_t kBlockBytes = 48;
constexpr std::uint32_t kUnlockKey = 0x6A2F3C91;

using Report = std::vector<std::uint8_t>;

Report request(std::uint8_t command, std::uint8_t lengthByte) {
    Report report(VU_REPORT_BYTES, 0);
    report[0] = 0x01;
    report[1] = command;
    report[2] = lengthByte;
    return report;
}

void putLe32(Report& report, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) report[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Report stateRequest(std::uint8_t command, bool on) {
    Report report = request(command, 0x01);
    report[3] = on ? 1 : 0;
    return report;
}

// The requests of the update, each with the wait before its read and the wait after its reply.
struct Step {
    Report request;
    DWORD beforeReadMs;
    DWORD afterMs;
    bool block;
};

std::vector<Step> updateSteps(const std::vector<std::uint8_t>& image) {
    std::vector<Step> steps;
    steps.push_back({stateRequest(0x0B, true), 0, 20, false});
    steps.push_back({stateRequest(0x20, false), 0, 20, false});
    Report erase = request(0x1E, 0x04);
    putLe32(erase, 4, kUnlockKey);
    steps.push_back({erase, 1000, 4000 + 20, false});
    Report address = request(0x1F, 0x09);
    address[3] = 0x01;
    putLe32(address, 4, 0);
    putLe32(address, 8, kUnlockKey);
    steps.push_back({address, 0, 20, false});
    for (std::size_t offset = 0; offset < image.size(); offset += kBlockBytes) {
        const std::size_t length = std::min(kBlockBytes, image.size() - offset);
        // A short last block declares its words and carries 0xFF to the end of the area.
        Report block = request(0x1B, static_cast<std::uint8_t>(length / 4 * 4));
        std::memset(&block[4], 0xFF, kBlockBytes);
        std::memcpy(&block[4], &image[offset], length);
        steps.push_back({block, 0, 20, true});
    }
    steps.push_back({stateRequest(0x20, true), 0, 0, false});
    steps.push_back({stateRequest(0x0B, false), 0, 0, false});
    return steps;
}

bool readImage(const char* fileName, std::vector<std::uint8_t>* image) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) return false;
    std::uint8_t buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) != 0;) {
        image->insert(image->end(), buffer, buffer + got);
    }
    std::fclose(file);
    return !image->empty();
}

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
    if (argc != 3 || !readImage(argv[1], &image)) {
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
    for (Step& step : updateSteps(image)) {
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
