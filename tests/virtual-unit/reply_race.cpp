// vunit-reply-race: every reply of the unit reaches a handle's read, exchange after exchange. It
// serves the virtual unit itself (nothing else may serve it), echoes each output report's
// sequence number in an input report at once, and sends EXCHANGES requests through a HID handle
// as the updater does: write the request, then read its reply with a time-out of 1 s, the read
// starting 0..400 us after the write as the updater's does after its log line. Only plain Win32
// calls, so that it also serves to show the class driver's part alone.
//
//   vunit-reply-race EXCHANGES [--second-reader | --second-reader-cancelling] [--at-once]
//
// --second-reader  another handle of the unit reads every input report meanwhile (as vunit-poller)
// --second-reader-cancelling
//                  the same with a time-out of 1 ms, so that its cancels meet the replies
// --at-once        the bus hands each reply over without waiting until the class driver has given
//                  it to every handle (IOCTL_VU_PUT_INPUT_AT_ONCE): Wine 8.0's class driver may
//                  then leave it in the handle's queue while the handle's read waits
//                  (control_codes.h); rare, since its thread must be preempted within a few
//                  instructions
//
// A read that times out is cancelled and tried again at once: a reply that the class driver
// already held in the handle's queue then comes without any new report from the unit. Prints one
// line with the counts; exit 0 when every reply came in time, 1 when not, 2 when it cannot run.
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "control_codes.h"
#include "unit_interface.h"

namespace {

constexpr DWORD kReplyTimeoutMs = 1000;
// A cancelled transfer ends at once; this long, it is taken as one that never ends.
constexpr DWORD kCancelTimeoutMs = 10000;

struct Server {
    HANDLE bus;
    DWORD putCode;
    volatile bool ending;
};

// Busy for 0..400 us, by the sequence number: the program's read starts at every moment around
// the reply's arrival, as the updater's does after writing its log line.
void spread(unsigned long sequence) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG ticks =
        frequency.QuadPart * static_cast<LONGLONG>(sequence * 37 % 400) / 1000000;
    do QueryPerformanceCounter(&now);
    while (now.QuadPart - start.QuadPart < ticks);
}

// Echoes each output report's bytes 1..4 in an input report until the bus stops serving.
DWORD WINAPI serve(void* context) {
    const Server& server = *static_cast<Server*>(context);
    UCHAR request[VU_REPORT_BYTES];
    DWORD returned = 0;
    while (DeviceIoControl(server.bus, IOCTL_VU_NEXT_OUTPUT, nullptr, 0, request, sizeof request,
                           &returned, nullptr)) {
        UCHAR reply[VU_REPORT_BYTES] = {2};
        std::memcpy(reply + 1, request + 1, 4);
        DeviceIoControl(server.bus, server.putCode, reply, sizeof reply, nullptr, 0, &returned,
                        nullptr);
    }
    // Only the end of the program ends the serving.
    if (!server.ending) {
        std::fprintf(stderr, "vunit-reply-race: the unit's request was cancelled (error %lu)\n",
                     GetLastError());
    }
    return 0;
}

// The unit's HID interface path, waiting at most 30 s for SetupAPI to list it.
std::wstring unitPath() {
    for (int attempt = 0; attempt < 300; ++attempt, Sleep(100)) {
        const std::wstring path = virtualUnitInterfacePath();
        if (!path.empty()) return path;
    }
    return L"";
}

HANDLE openUnit(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

enum class Outcome { done, timedOut, failed };

// One overlapped transfer, at most timeoutMs; a late one is cancelled and its end awaited.
Outcome transfer(HANDLE unit, bool write, UCHAR* report, DWORD timeoutMs) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const BOOL started = write ? WriteFile(unit, report, VU_REPORT_BYTES, nullptr, &overlapped)
                               : ReadFile(unit, report, VU_REPORT_BYTES, nullptr, &overlapped);
    Outcome outcome = Outcome::failed;
    DWORD moved = 0;
    if (started || GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, timeoutMs) == WAIT_OBJECT_0) {
            outcome = GetOverlappedResult(unit, &overlapped, &moved, FALSE) ? Outcome::done
                                                                            : Outcome::failed;
        } else {
            CancelIoEx(unit, &overlapped);
            if (WaitForSingleObject(overlapped.hEvent, kCancelTimeoutMs) != WAIT_OBJECT_0) {
                std::fprintf(stderr, "vunit-reply-race: a cancelled read did not end\n");
                std::exit(2);  // the OVERLAPPED must outlive the request: end here
            }
            outcome = GetOverlappedResult(unit, &overlapped, &moved, FALSE) ? Outcome::done
                                                                            : Outcome::timedOut;
        }
    }
    CloseHandle(overlapped.hEvent);
    return outcome;
}

unsigned long sequenceOf(const UCHAR* report) {
    unsigned long sequence = 0;
    std::memcpy(&sequence, report + 1, 4);
    return sequence;
}

volatile LONG secondReaderReports = 0;
DWORD secondReaderTimeoutMs = 1000;

DWORD WINAPI readAlong(void* context) {
    const HANDLE unit = context;
    UCHAR report[VU_REPORT_BYTES];
    for (;;) {
        const Outcome outcome = transfer(unit, false, report, secondReaderTimeoutMs);
        if (outcome == Outcome::failed) return 0;
        if (outcome == Outcome::done) InterlockedIncrement(&secondReaderReports);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned long exchanges = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 0;
    bool secondReader = false;
    bool known = exchanges != 0;
    // Static: the serving thread looks at it until the process has ended.
    static Server server{INVALID_HANDLE_VALUE, IOCTL_VU_PUT_INPUT, false};
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--second-reader") == 0) {
            secondReader = true;
        } else if (std::strcmp(argv[i], "--second-reader-cancelling") == 0) {
            secondReader = true;
            secondReaderTimeoutMs = 1;
        } else if (std::strcmp(argv[i], "--at-once") == 0) {
            server.putCode = IOCTL_VU_PUT_INPUT_AT_ONCE;
        } else {
            known = false;
        }
    }
    if (!known) {
        std::fprintf(
            stderr,
            "usage: vunit-reply-race EXCHANGES [--second-reader | --second-reader-cancelling] "
            "[--at-once]\n");
        return 2;
    }
    server.bus = CreateFileW(VU_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    const USHORT linkCube = 2;
    DWORD returned = 0;
    if (server.bus == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(server.bus, IOCTL_VU_SERVE, const_cast<USHORT*>(&linkCube),
                         sizeof linkCube, nullptr, 0, &returned, nullptr)) {
        std::fprintf(stderr, "vunit-reply-race: cannot serve the unit (error %lu)\n",
                     GetLastError());
        return 2;
    }
    CloseHandle(CreateThread(nullptr, 0, serve, &server, 0, nullptr));
    const std::wstring path = unitPath();
    const HANDLE unit = path.empty() ? INVALID_HANDLE_VALUE : openUnit(path);
    if (unit == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vunit-reply-race: cannot open the unit (error %lu)\n",
                     GetLastError());
        return 2;
    }
    if (secondReader) {
        const HANDLE other = openUnit(path);
        if (other == INVALID_HANDLE_VALUE) return 2;
        CloseHandle(CreateThread(nullptr, 0, readAlong, other, 0, nullptr));
    }

    unsigned long late = 0, heldBack = 0, lost = 0, firstLate = 0;
    const ULONGLONG start = GetTickCount64();
    for (unsigned long sequence = 1; sequence <= exchanges; ++sequence) {
        UCHAR request[VU_REPORT_BYTES] = {1};
        std::memcpy(request + 1, &sequence, 4);
        UCHAR reply[VU_REPORT_BYTES];
        if (transfer(unit, true, request, 1000) != Outcome::done) return 2;
        spread(sequence);
        Outcome outcome = transfer(unit, false, reply, kReplyTimeoutMs);
        if (outcome == Outcome::failed) return 2;
        if (outcome == Outcome::done && sequenceOf(reply) == sequence) continue;
        const bool timedOut = outcome == Outcome::timedOut;
        const unsigned long other = timedOut ? 0 : sequenceOf(reply);
        ++late;
        if (firstLate == 0) firstLate = sequence;
        // Nothing new comes from the unit now: a reply found by the next reads was in the
        // handle's queue while the read above waited.
        bool found = false;
        for (int retry = 0; retry < 2 && !found; ++retry) {
            found =
                transfer(unit, false, reply, 100) == Outcome::done && sequenceOf(reply) == sequence;
        }
        ++(found ? heldBack : lost);
        if (timedOut) {
            std::fprintf(stderr, "exchange %lu: no reply in time", sequence);
        } else {
            std::fprintf(stderr, "exchange %lu: the reply of exchange %lu", sequence, other);
        }
        std::fprintf(stderr, ", then %s\n", found ? "held back in the queue" : "not found");
        if (late == 20) break;  // enough to see the fault
    }
    std::printf(
        "%lu exchanges in %llu ms: %lu replies late (first at %lu), %lu of them held back in the "
        "handle's queue, %lu lost; the second reader read %ld reports\n",
        exchanges, GetTickCount64() - start, late, firstLate, heldBack, lost, secondReaderReports);
    server.ending = true;
    CloseHandle(server.bus);  // unplugs the unit
    return late == 0 ? 0 : 1;
}
