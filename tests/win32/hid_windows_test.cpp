// The real Windows HID operations, run under Wine. Wine presents HID devices of its own (a mouse
// and a keyboard, vendor 0x845E); none of them is a programming unit. The report transfers run
// against an overlapped message-mode named pipe instead, whose server end answers as the unit would.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <ostream>
#include <thread>
#include <vector>

#include "device/device_session.h"
#include "win32/message_wait.h"

namespace {

struct PresentDevice {
    bool attributesRead;  // opened, and its vendor and product ID read
    std::uint16_t vendorId;
    std::uint16_t productId;
};

std::vector<PresentDevice> presentDevices() {
    std::vector<PresentDevice> found;
    hid::InterfaceList* list = hid::listInterfaces();
    if (list == nullptr) return found;
    for (std::uint32_t index = 0;; ++index) {
        hid::InterfaceDetail* detail = nullptr;
        const hid::InterfaceLookup lookup = hid::fetchInterfaceDetail(list, index, &detail);
        if (lookup == hid::InterfaceLookup::end) break;
        if (lookup == hid::InterfaceLookup::detailFailed) continue;
        const hid::Handle handle = hid::openDevice(hid::interfacePath(detail));
        PresentDevice device{};
        if (handle != hid::kInvalidHandle) {
            device.attributesRead =
                hid::readAttributes(handle, &device.vendorId, &device.productId);
            hid::closeDevice(handle);
        }
        found.push_back(device);
        hid::releaseInterfaceDetail(detail);
    }
    hid::releaseInterfaceList(list);
    return found;
}

// Only a device that was opened and read says anything: one that failed to open would pass as
// "no unit" with its vendor ID still 0.
TEST(WindowsHid, WineOwnDevicesArePresentAndAreNoProgrammingUnit) {
    const std::vector<PresentDevice> devices = presentDevices();
    ASSERT_GE(devices.size(), 2u) << "Wine's HID mouse and keyboard are expected";
    unsigned read = 0;
    for (const PresentDevice& device : devices) {
        if (!device.attributesRead) continue;
        ++read;
        EXPECT_NE(device.vendorId, 0) << "attributes read but empty";
        EXPECT_NE(device.vendorId, kUnitVendorId);
    }
    EXPECT_GE(read, 2u) << "Wine's mouse and keyboard were not opened and read";
}

TEST(WindowsHid, OpenSessionSkipsOtherDevicesAndFindsNoUnit) {
    DeviceSession session;
    EXPECT_EQ(openSession(session), kNoUnitPresent);
    EXPECT_EQ(session.handle, hid::kInvalidHandle);
    EXPECT_EQ(session.devicePath, nullptr);
    EXPECT_EQ(session.productId, 0);
}

TEST(WindowsHid, HidDllComesFromTheSystemFolder) {
    DeviceSession session;
    openSession(session);
    HMODULE module = GetModuleHandleW(L"hid.dll");
    ASSERT_NE(module, nullptr);
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(module, path, MAX_PATH), 0u);
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    EXPECT_EQ(_wcsnicmp(path, system, wcslen(system)), 0)
        << "hid.dll was loaded from outside the system folder";
}

// --- Report transfers over a named pipe ----------------------------------------------------------

constexpr DWORD kPeerWaitMs = 5000;  // the bound on every wait of the pipe's server end
constexpr DWORD kLateMs = 200;       // how long a slow peer keeps the other side waiting
constexpr DWORD kReportLength = 60;

long long millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - start)
        .count();
}

Report filled(std::uint8_t value, std::uint8_t reportId) {
    Report report;
    report.fill(value);
    report[0] = reportId;
    return report;
}

// One overlapped transfer on the server end, at most kPeerWaitMs; the number of bytes moved, or
// -1 when it failed or ran out of time.
template <typename Start>
long peerTransfer(HANDLE server, Start start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return -1;
    DWORD moved = 0;
    bool done = start(&overlapped) || GetLastError() == ERROR_IO_PENDING;
    if (done && WaitForSingleObject(overlapped.hEvent, kPeerWaitMs) != WAIT_OBJECT_0) {
        CancelIoEx(server, &overlapped);
        done = false;
    }
    done = GetOverlappedResult(server, &overlapped, &moved, TRUE) && done;
    CloseHandle(overlapped.hEvent);
    return done ? static_cast<long>(moved) : -1;
}

long peerRead(HANDLE server, Report& into) {
    return peerTransfer(server, [&](OVERLAPPED* overlapped) {
        return ReadFile(server, into.data(), kReportLength, nullptr, overlapped) != FALSE;
    });
}

long peerWrite(HANDLE server, const Report& report) {
    return peerTransfer(server, [&](OVERLAPPED* overlapped) {
        return WriteFile(server, report.data(), kReportLength, nullptr, overlapped) != FALSE;
    });
}

// A named pipe in the unit's place: the session holds the client end, opened by hid::openDevice
// like the unit's interface; the server end is the unit. inboundBuffer is the room for requests
// in the pipe: with 0 a write waits until the peer has taken the request.
class PipeUnit {
public:
    explicit PipeUnit(DWORD inboundBuffer) {
        static int count = 0;
        wchar_t name[96];
        swprintf(name, 96, L"\\\\.\\pipe\\terval-hid-test-%lu-%d", GetCurrentProcessId(), ++count);
        server = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                  4096, inboundBuffer, 0, nullptr);
        if (server == INVALID_HANDLE_VALUE) return;
        session.handle = hid::openDevice(name);
        if (session.handle == hid::kInvalidHandle) return;
        DWORD mode = PIPE_READMODE_MESSAGE;
        messageMode = SetNamedPipeHandleState(reinterpret_cast<HANDLE>(session.handle), &mode,
                                              nullptr, nullptr) != FALSE;
        session.devicePath = new wchar_t[wcslen(name) + 1];
        wcscpy(session.devicePath, name);
        session.outputReportLength = kReportLength;
        session.inputReportLength = kReportLength;
    }
    ~PipeUnit() {
        if (peer.joinable()) peer.join();
        closeServer();
        closeSession(session);
    }
    PipeUnit(const PipeUnit&) = delete;
    PipeUnit& operator=(const PipeUnit&) = delete;

    bool ready() const {
        return server != INVALID_HANDLE_VALUE && session.handle != hid::kInvalidHandle &&
               messageMode;
    }

    // The unit's side, run on a thread of its own until the object goes.
    void act(std::function<void(PipeUnit&)> script) {
        peer = std::thread([this, script] { script(*this); });
    }
    void finish() {
        if (peer.joinable()) peer.join();
    }

    void closeServer() {
        if (server != INVALID_HANDLE_VALUE) CloseHandle(server);
        server = INVALID_HANDLE_VALUE;
    }

    HANDLE server = INVALID_HANDLE_VALUE;
    DeviceSession session;
    Report received{};  // the request as the peer read it
    long receivedLength = -1;

private:
    bool messageMode = false;
    std::thread peer;
};

const Report kRequest = filled(0xA5, kOutputReportId);
const Report kAnswer = filled(0x3C, kInputReportId);

// A write and a read that complete leave the last error 0, whatever it held before and whether
// the transfer completed at once or had to wait for the peer.
struct CompletedCase {
    const char* name;
    DWORD inboundBuffer;
    bool answerQueued;  // the answer is in the pipe before the request is written
    DWORD peerTakesMs;  // before the peer reads the request
    DWORD peerAnswersMs;  // after the peer has read the request
};

void PrintTo(const CompletedCase& c, std::ostream* os) { *os << c.name; }

class CompletedTransfer : public testing::TestWithParam<CompletedCase> {};

TEST_P(CompletedTransfer, LeavesTheLastErrorZero) {
    const CompletedCase& c = GetParam();
    PipeUnit unit(c.inboundBuffer);
    ASSERT_TRUE(unit.ready()) << GetLastError();
    if (c.answerQueued) {
        ASSERT_EQ(peerWrite(unit.server, kAnswer), 60);
    }
    unit.act([c](PipeUnit& u) {
        Sleep(c.peerTakesMs);
        u.receivedLength = peerRead(u.server, u.received);
        Sleep(c.peerAnswersMs);
        if (!c.answerQueued) peerWrite(u.server, kAnswer);
    });

    const auto start = std::chrono::steady_clock::now();
    SetLastError(ERROR_IO_PENDING);
    EXPECT_TRUE(hid::writeReport(unit.session.handle, kRequest.data(), kReportLength));
    EXPECT_EQ(hid::lastError(), 0u) << "after the write";
    EXPECT_GE(millisecondsSince(start), c.peerTakesMs * 9 / 10);

    Report reply = filled(0, kInputReportId);
    SetLastError(ERROR_IO_PENDING);
    EXPECT_TRUE(hid::readReport(unit.session.handle, reply.data(), kReportLength));
    EXPECT_EQ(hid::lastError(), 0u) << "after the read";
    EXPECT_GE(millisecondsSince(start), (c.peerTakesMs + c.peerAnswersMs) * 9 / 10);
    EXPECT_EQ(reply, kAnswer);

    unit.finish();
    EXPECT_EQ(unit.receivedLength, 60);
    EXPECT_EQ(unit.received, kRequest);
}

INSTANTIATE_TEST_SUITE_P(
    Pipe, CompletedTransfer,
    testing::Values(CompletedCase{"AtOnce", 4096, true, 0, 0},
                    CompletedCase{"ReadWaitsForTheAnswer", 4096, false, 0, kLateMs},
                    CompletedCase{"WriteWaitsForThePeer", 0, false, kLateMs, 0}),
    [](const testing::TestParamInfo<CompletedCase>& info) { return info.param.name; });

// An exchange of which the unit takes the request and never answers ends at the bound with -3 and
// ERROR_TIMEOUT; the cancelled read no longer touches the reply, and an answer that comes too late
// stays in the pipe for the next read.
TEST(PipeExchange, UnansweredReadEndsAtTheBoundAndLeavesTheReplyAlone) {
    PipeUnit unit(4096);
    ASSERT_TRUE(unit.ready()) << GetLastError();
    unit.act([](PipeUnit& u) { u.receivedLength = peerRead(u.server, u.received); });

    const Report canary = filled(0xC3, kInputReportId);  // byte 0 as exchange sets it
    Report reply = canary;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange(unit.session, kRequest, reply, 0), kReadFailed);
    const DWORD error = hid::lastError();
    const long long elapsed = millisecondsSince(start);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_GE(elapsed, static_cast<long long>(hid::kReportTimeoutMs));
    EXPECT_LT(elapsed, 12000);
    unit.finish();
    EXPECT_EQ(unit.received, kRequest);

    ASSERT_EQ(peerWrite(unit.server, kAnswer), 60);
    Sleep(kLateMs);
    EXPECT_EQ(reply, canary) << "the cancelled read wrote into the reply";

    DWORD waiting = 0;
    ASSERT_TRUE(PeekNamedPipe(reinterpret_cast<HANDLE>(unit.session.handle), nullptr, 0, nullptr,
                              &waiting, nullptr));
    ASSERT_EQ(waiting, kReportLength) << "the late answer was taken by the cancelled read";
    Report next = canary;
    EXPECT_TRUE(hid::readReport(unit.session.handle, next.data(), kReportLength));
    EXPECT_EQ(next, kAnswer);
}

// A unit that goes away ends the exchange at once with the pipe's own error: -2 when the request
// cannot be written, -3 when the reply cannot be read.
struct GoneCase {
    const char* name;
    DWORD inboundBuffer;
    std::function<void(PipeUnit&)> beforeExchange;  // on the test thread
    std::function<void(PipeUnit&)> peer;            // on the peer thread meanwhile
    ResultCode result;
    DWORD error;
};

void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }

void closeAfter(PipeUnit& unit, DWORD ms) {
    Sleep(ms);
    unit.closeServer();
}

void takeRequestAndCloseAfter(PipeUnit& unit, DWORD ms) {
    unit.receivedLength = peerRead(unit.server, unit.received);
    closeAfter(unit, ms);
}

class GoneUnit : public testing::TestWithParam<GoneCase> {};

TEST_P(GoneUnit, EndsTheExchangeWithThePipesError) {
    const GoneCase& c = GetParam();
    PipeUnit unit(c.inboundBuffer);
    ASSERT_TRUE(unit.ready()) << GetLastError();
    if (c.beforeExchange) c.beforeExchange(unit);
    if (c.peer) unit.act(c.peer);

    Report reply = filled(0, kInputReportId);
    const auto start = std::chrono::steady_clock::now();
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(exchange(unit.session, kRequest, reply, 0), c.result);
    EXPECT_EQ(hid::lastError(), c.error);
    EXPECT_LT(millisecondsSince(start), 5000) << "ended by the bound, not by the pipe";
}

INSTANTIATE_TEST_SUITE_P(
    Pipe, GoneUnit,
    testing::Values(
        GoneCase{"ClosedBeforeTheRequest", 4096, [](PipeUnit& u) { u.closeServer(); }, nullptr,
                 kWriteFailed, ERROR_NO_DATA},
        GoneCase{"DisconnectedBeforeTheRequest", 4096,
                 [](PipeUnit& u) { DisconnectNamedPipe(u.server); }, nullptr, kWriteFailed,
                 ERROR_PIPE_NOT_CONNECTED},
        GoneCase{"ClosedWhileTheWriteWaits", 0, nullptr,
                 [](PipeUnit& u) { closeAfter(u, kLateMs); }, kWriteFailed, ERROR_BROKEN_PIPE},
        GoneCase{"ClosedWhileTheReadWaits", 4096, nullptr,
                 [](PipeUnit& u) { takeRequestAndCloseAfter(u, kLateMs); }, kReadFailed,
                 ERROR_BROKEN_PIPE}),
    [](const testing::TestParamInfo<GoneCase>& info) { return info.param.name; });

// --- The bounded wait on a thread without a window -----------------------------------------------

// The device waits go through MsgWaitForMultipleObjectsEx; on a thread that has no window (and no
// message queue until the wait makes one) they must still end at their bound or when the object
// is signalled.
struct BoundedWaitCase {
    const char* name;
    bool withObject;
    DWORD signalAfterMs;  // INFINITE: never
    DWORD timeoutMs;
    bool signalled;
    long long atLeastMs;
};

void PrintTo(const BoundedWaitCase& c, std::ostream* os) { *os << c.name; }

class BoundedWait : public testing::TestWithParam<BoundedWaitCase> {};

TEST_P(BoundedWait, EndsWithoutAWindow) {
    const BoundedWaitCase& c = GetParam();
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::thread signaller;
    if (c.signalAfterMs != INFINITE) {
        signaller = std::thread([&] {
            Sleep(c.signalAfterMs);
            SetEvent(event);
        });
    }
    bool result = !c.signalled;
    long long elapsed = 0;
    std::thread waiter([&] {  // a fresh thread: no window, no queue
        const auto start = std::chrono::steady_clock::now();
        result = waitLettingMessagesThrough(c.withObject ? event : nullptr, c.timeoutMs);
        elapsed = millisecondsSince(start);
    });
    waiter.join();
    if (signaller.joinable()) signaller.join();
    CloseHandle(event);
    EXPECT_EQ(result, c.signalled);
    EXPECT_GE(elapsed, c.atLeastMs);
    EXPECT_LT(elapsed, c.atLeastMs + 1500);
}

INSTANTIATE_TEST_SUITE_P(
    MessageWait, BoundedWait,
    testing::Values(BoundedWaitCase{"NothingToWaitFor", false, INFINITE, 300, false, 300},
                    BoundedWaitCase{"NeverSignalled", true, INFINITE, 300, false, 300},
                    BoundedWaitCase{"SignalledInTime", true, kLateMs, 5000, true, kLateMs * 9 / 10}),
    [](const testing::TestParamInfo<BoundedWaitCase>& info) { return info.param.name; });

}  // namespace

namespace {

// The program's pause on Windows: never shorter than asked, and a 20 ms pause (20 ms follows
// every block of an update) is not rounded up to the scheduler's 15.6 ms tick.
TEST(PreciseWait, TwentyMillisecondsLastTwentyAndLittleMore) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const auto microsecondsSince = [&](const LARGE_INTEGER& start) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<std::uint64_t>((now.QuadPart - start.QuadPart) * 1000000 /
                                          frequency.QuadPart);
    };
    std::vector<std::uint64_t> overshoots;
    for (int i = 0; i < 15; ++i) {
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        hid::pause(20);
        const std::uint64_t spent = microsecondsSince(start);
        ASSERT_GE(spent, 20000u);
        overshoots.push_back(spent - 20000);
    }
    std::sort(overshoots.begin(), overshoots.end());
    EXPECT_LT(overshoots[overshoots.size() / 2], 8000u) << "median overshoot, microseconds";
}

}  // namespace
