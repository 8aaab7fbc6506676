// The real Windows HID operations, run under Wine. Wine presents HID devices of its own (a mouse
// and a keyboard, vendor 0x845E); none of them is a programming unit. The report transfers run
// against an overlapped message-mode named pipe instead, opened with the backend like the
// unit's interface, whose server end answers as the unit would.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "device/device_session.h"
#include "win32/hid_windows.h"
#include "win32/message_wait.h"
#include "win32/precise_wait_windows.h"

namespace {

// Stateless: every test may use them.
hid::WindowsBackend backend;
WindowsClock clock;

constexpr std::uint16_t kWineVendorId = 0x845E;

// --- The enumeration, on Wine's own devices ------------------------------------------------------

// The devices the enumeration gives, into a list that holds a stale entry beforehand.
std::vector<hid::DeviceInfo> enumerated(std::uint16_t vendorId, std::uint16_t productId) {
    std::vector<hid::DeviceInfo> devices(1);
    hid::Error error = 0;
    EXPECT_TRUE(backend.enumerate(vendorId, productId, &devices, &error)) << error;
    return devices;
}

// Each device found was opened for its attributes, and the path it is given by opens it again: a
// path that lost something on its way to UTF-8 would not.
TEST(WindowsHid, FindsWinesOwnDevicesByVendorWithPathsThatOpen) {
    const std::vector<hid::DeviceInfo> devices = enumerated(kWineVendorId, 0);
    ASSERT_GE(devices.size(), 2u) << "Wine's HID mouse and keyboard are expected";
    bool lengthsRead = false;
    for (const hid::DeviceInfo& device : devices) {
        EXPECT_EQ(device.vendorId, kWineVendorId) << device.path;
        lengthsRead = lengthsRead || device.inputReportLength != 0;
        hid::Error error = 0;
        const hid::OpenDevice opened(backend.open(device.path, &error));
        EXPECT_NE(opened, nullptr) << device.path << " does not open: " << error;
    }
    EXPECT_TRUE(lengthsRead) << "no device's report lengths were read";
}

TEST(WindowsHid, KeepsOnlyTheProductAsked) {
    const std::vector<hid::DeviceInfo> all = enumerated(kWineVendorId, 0);
    ASSERT_FALSE(all.empty());
    const std::uint16_t product = all.back().productId;
    std::vector<std::string> expected;
    for (const hid::DeviceInfo& device : all) {
        if (device.productId == product) expected.push_back(device.path);
    }
    ASSERT_LT(expected.size(), all.size()) << "Wine's devices are expected to differ in product";
    std::vector<std::string> found;
    for (const hid::DeviceInfo& device : enumerated(kWineVendorId, product)) {
        found.push_back(device.path);
    }
    EXPECT_EQ(found, expected);
}

TEST(WindowsHid, FindsNoProgrammingUnit) {
    EXPECT_TRUE(enumerated(kUnitVendorId, 0).empty());
    DeviceSession session{{backend, clock}};
    EXPECT_EQ(openSession(session), kNoUnitPresent);
    EXPECT_EQ(session.handle, nullptr);
    EXPECT_EQ(session.devicePath, "");
    EXPECT_EQ(session.productId, 0);
    EXPECT_EQ(session.lastError, 0u);
}

TEST(WindowsHid, HidDllComesFromTheSystemFolder) {
    DeviceSession session{{backend, clock}};
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

// --- Named pipes in the unit's place -------------------------------------------------------------

constexpr DWORD kPeerWaitMs = 5000;  // the bound on the pipe's server end, and on a transfer to end
constexpr DWORD kLateMs = 200;       // how long a slow peer keeps the other side waiting
constexpr DWORD kShortTimeoutMs = 300;  // the bound of a transfer that is meant to run out
constexpr DWORD kReportLength = 60;

// A pipe name outside ASCII, in UTF-16 for the server and in UTF-8 for the backend's open, each
// written out on its own so that neither is made by the conversion under test.
struct PipeName {
    std::wstring wide;
    std::string utf8;
};

PipeName newPipeName() {
    static int count = 0;
    ++count;
    wchar_t wide[96];
    swprintf(wide, 96, L"\\\\.\\pipe\\terval-hid-test-\u00FC\u20AC-%lu-%d", GetCurrentProcessId(),
             count);
    char utf8[96];
    std::snprintf(utf8, sizeof utf8, "\\\\.\\pipe\\terval-hid-test-\xC3\xBC\xE2\x82\xAC-%lu-%d",
                  GetCurrentProcessId(), count);
    return {wide, utf8};
}

// The server end of a message-mode pipe of one instance. inboundBuffer is the room for requests
// in the pipe: with 0 a write waits until the peer has taken the request.
HANDLE createPipeServer(const PipeName& name, DWORD inboundBuffer) {
    return CreateNamedPipeW(name.wide.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                            inboundBuffer, 0, nullptr);
}

long long millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

Report filled(std::uint8_t value, std::uint8_t reportId) {
    Report report;
    report.fill(value);
    report[0] = reportId;
    return report;
}

// One overlapped transfer on the server end, at most waitMs; the number of bytes moved, or -1
// when it failed or ran out of time.
template <typename Start>
long peerTransfer(HANDLE server, DWORD waitMs, Start start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return -1;
    DWORD moved = 0;
    bool done = start(&overlapped) || GetLastError() == ERROR_IO_PENDING;
    if (done && WaitForSingleObject(overlapped.hEvent, waitMs) != WAIT_OBJECT_0) {
        CancelIoEx(server, &overlapped);
        done = false;
    }
    done = GetOverlappedResult(server, &overlapped, &moved, TRUE) && done;
    CloseHandle(overlapped.hEvent);
    return done ? static_cast<long>(moved) : -1;
}

long peerRead(HANDLE server, Report& into, DWORD waitMs = kPeerWaitMs) {
    return peerTransfer(server, waitMs, [&](OVERLAPPED* overlapped) {
        return ReadFile(server, into.data(), kReportLength, nullptr, overlapped) != FALSE;
    });
}

// A message of length bytes, the report's own bytes first and zeros behind them.
long peerWrite(HANDLE server, const Report& report, DWORD length = kReportLength) {
    std::vector<std::uint8_t> message(length, 0);
    std::copy_n(report.begin(), std::min<std::size_t>(length, report.size()), message.begin());
    return peerTransfer(server, kPeerWaitMs, [&](OVERLAPPED* overlapped) {
        return WriteFile(server, message.data(), length, nullptr, overlapped) != FALSE;
    });
}

// A pipe as the open unit: the session holds the client end, opened by the backend by its
// UTF-8 name and put in message read mode; the server end is the unit.
class PipeUnit {
public:
    explicit PipeUnit(DWORD inboundBuffer) {
        const PipeName name = newPipeName();
        server = createPipeServer(name, inboundBuffer);
        if (server == INVALID_HANDLE_VALUE) return;
        session.handle = backend.open(name.utf8, &openError);
        if (session.handle == nullptr) return;
        DWORD mode = PIPE_READMODE_MESSAGE;
        messageMode = SetNamedPipeHandleState(client(), &mode, nullptr, nullptr) != FALSE;
        session.devicePath = name.utf8;
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
        return server != INVALID_HANDLE_VALUE && session.handle != nullptr && messageMode;
    }
    hid::Device& device() { return *session.handle; }
    HANDLE client() const { return hid::windowsHandle(*session.handle); }

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
    DeviceSession session{{backend, clock}};
    hid::Error openError = 0;
    Report received{};  // the request as the peer read it
    long receivedLength = -1;

private:
    bool messageMode = false;
    std::thread peer;
};

#define ASSERT_READY(unit) ASSERT_TRUE((unit).ready()) << (unit).openError << " " << GetLastError()

const Report kRequest = filled(0xA5, kOutputReportId);
const Report kAnswer = filled(0x3C, kInputReportId);

// --- Opening -------------------------------------------------------------------------------------

// Paths beside a live pipe's UTF-8 name: only the name itself opens it. A name cut at an embedded
// NUL, or one with a broken UTF-8 byte mended on the way, would open it or another file.
struct OpenCase {
    const char* name;
    std::string suffix;  // behind the live pipe's name
    DWORD error;         // 0: it opens
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class OpenDevice : public testing::TestWithParam<OpenCase> {};

TEST_P(OpenDevice, OpensTheUtf8PathAndNothingElse) {
    const OpenCase& c = GetParam();
    const PipeName name = newPipeName();
    const HANDLE server = createPipeServer(name, 4096);
    ASSERT_NE(server, INVALID_HANDLE_VALUE) << GetLastError();
    hid::Error error = 0;
    const hid::OpenDevice device(backend.open(name.utf8 + c.suffix, &error));
    CloseHandle(server);
    EXPECT_EQ(device != nullptr, c.error == 0);
    EXPECT_EQ(error, c.error);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Pipe, OpenDevice,
    testing::Values(OpenCase{"TheName", "", 0},
                    OpenCase{"AnotherName", "-gone", ERROR_FILE_NOT_FOUND},
                    OpenCase{"CutByANul", std::string("\0-gone", 6), ERROR_INVALID_NAME},
                    OpenCase{"BrokenUtf8", "\xC3", ERROR_NO_UNICODE_TRANSLATION}),
    [](const testing::TestParamInfo<OpenCase>& info) { return info.param.name; });
// clang-format on

// --- Report transfers ----------------------------------------------------------------------------

// A write and a read complete with the whole report, whether they completed at once or had to wait
// for the peer.
struct CompletedCase {
    const char* name;
    DWORD inboundBuffer;
    bool answerQueued;    // the answer is in the pipe before the request is written
    DWORD peerTakesMs;    // before the peer reads the request
    DWORD peerAnswersMs;  // after the peer has read the request
};

void PrintTo(const CompletedCase& c, std::ostream* os) { *os << c.name; }

class CompletedTransfer : public testing::TestWithParam<CompletedCase> {};

TEST_P(CompletedTransfer, MovesTheWholeReport) {
    const CompletedCase& c = GetParam();
    PipeUnit unit(c.inboundBuffer);
    ASSERT_READY(unit);
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
    hid::Error error = 0;
    EXPECT_TRUE(
        backend.writeReport(unit.device(), kRequest.data(), kReportLength, kPeerWaitMs, &error))
        << error;
    EXPECT_GE(millisecondsSince(start), c.peerTakesMs * 9 / 10);

    Report reply = filled(0, kInputReportId);
    EXPECT_TRUE(backend.readReport(unit.device(), reply.data(), kReportLength, kPeerWaitMs, &error))
        << error;
    EXPECT_GE(millisecondsSince(start), (c.peerTakesMs + c.peerAnswersMs) * 9 / 10);
    EXPECT_EQ(reply, kAnswer);

    unit.finish();
    EXPECT_EQ(unit.receivedLength, 60);
    EXPECT_EQ(unit.received, kRequest);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Pipe, CompletedTransfer,
    testing::Values(CompletedCase{"AtOnce", 4096, true, 0, 0},
                    CompletedCase{"ReadWaitsForTheAnswer", 4096, false, 0, kLateMs},
                    CompletedCase{"WriteWaitsForThePeer", 0, false, kLateMs, 0}),
    [](const testing::TestParamInfo<CompletedCase>& info) { return info.param.name; });
// clang-format on

// A read that no answer reaches ends at the caller's bound with ERROR_TIMEOUT; the cancelled read
// no longer touches the reply, and an answer that comes too late stays in the pipe for the next
// read.
TEST(TimedOut, UnansweredReadLeavesTheReplyAloneAndTheLateAnswerInThePipe) {
    PipeUnit unit(4096);
    ASSERT_READY(unit);
    const Report canary = filled(0xC3, kInputReportId);
    Report reply = canary;
    const auto start = std::chrono::steady_clock::now();
    hid::Error error = 0;
    EXPECT_FALSE(
        backend.readReport(unit.device(), reply.data(), kReportLength, kShortTimeoutMs, &error));
    const long long elapsed = millisecondsSince(start);
    EXPECT_EQ(error, static_cast<hid::Error>(ERROR_TIMEOUT));
    EXPECT_GE(elapsed, static_cast<long long>(kShortTimeoutMs));
    EXPECT_LT(elapsed, kShortTimeoutMs + 1500);

    ASSERT_EQ(peerWrite(unit.server, kAnswer), 60);
    Sleep(kLateMs);
    EXPECT_EQ(reply, canary) << "the cancelled read wrote into the reply";

    DWORD waiting = 0;
    ASSERT_TRUE(PeekNamedPipe(unit.client(), nullptr, 0, nullptr, &waiting, nullptr));
    ASSERT_EQ(waiting, kReportLength) << "the late answer was taken by the cancelled read";
    Report next = canary;
    EXPECT_TRUE(backend.readReport(unit.device(), next.data(), kReportLength, kPeerWaitMs, &error))
        << error;
    EXPECT_EQ(next, kAnswer);
}

// A write that the peer does not take ends at the caller's bound with ERROR_TIMEOUT, and is
// withdrawn: a peer that reads afterwards gets nothing of it.
TEST(TimedOut, UntakenWriteIsWithdrawn) {
    PipeUnit unit(0);
    ASSERT_READY(unit);
    const auto start = std::chrono::steady_clock::now();
    hid::Error error = 0;
    EXPECT_FALSE(backend.writeReport(unit.device(), kRequest.data(), kReportLength, kShortTimeoutMs,
                                     &error));
    const long long elapsed = millisecondsSince(start);
    EXPECT_EQ(error, static_cast<hid::Error>(ERROR_TIMEOUT));
    EXPECT_GE(elapsed, static_cast<long long>(kShortTimeoutMs));
    EXPECT_LT(elapsed, kShortTimeoutMs + 1500);

    Report received = filled(0, 0);
    EXPECT_EQ(peerRead(unit.server, received, kLateMs), -1) << "the withdrawn request arrived";
}

// A report of another length than the one asked for is no reply.
struct WrongLengthCase {
    const char* name;
    DWORD messageLength;
    DWORD error;
};

void PrintTo(const WrongLengthCase& c, std::ostream* os) { *os << c.name; }

class WrongLength : public testing::TestWithParam<WrongLengthCase> {};

TEST_P(WrongLength, FailsTheRead) {
    const WrongLengthCase& c = GetParam();
    PipeUnit unit(4096);
    ASSERT_READY(unit);
    ASSERT_EQ(peerWrite(unit.server, kAnswer, c.messageLength), static_cast<long>(c.messageLength));
    Report reply = filled(0, kInputReportId);
    hid::Error error = 0;
    EXPECT_FALSE(
        backend.readReport(unit.device(), reply.data(), kReportLength, kPeerWaitMs, &error));
    EXPECT_EQ(error, c.error);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Pipe, WrongLength,
    testing::Values(WrongLengthCase{"Shorter", kReportLength - 20, ERROR_INVALID_DATA},
                    WrongLengthCase{"Longer", kReportLength + 4, ERROR_MORE_DATA}),
    [](const testing::TestParamInfo<WrongLengthCase>& info) { return info.param.name; });
// clang-format on

// A unit that goes away ends the exchange at once with the pipe's own error in the session: -2
// when the request cannot be written, -3 when the reply cannot be read.
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
    ASSERT_READY(unit);
    if (c.beforeExchange) c.beforeExchange(unit);
    if (c.peer) unit.act(c.peer);

    Report reply = filled(0, kInputReportId);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange(unit.session, kRequest, reply, 0), c.result);
    EXPECT_EQ(unit.session.lastError, c.error);
    EXPECT_LT(millisecondsSince(start), 5000) << "ended by the bound, not by the pipe";
}

// clang-format off
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
// clang-format on

// --- Dropping queued input -----------------------------------------------------------------------

// HidD_FlushQueue, which flushInput calls, fails on a pipe, which has no HID input queue (and so
// does it under Wine on Wine's own HID devices, whose class driver does not know the request): that
// a queued report is dropped is not seen here. What is seen: a failed flush stops nothing. The
// request goes out whole and the exchange completes, reading the report that was not dropped.
TEST(FlushInput, ThatFailsLeavesTheExchangeGoing) {
    PipeUnit unit(4096);
    ASSERT_READY(unit);
    const Report stale = filled(0x77, kInputReportId);
    ASSERT_EQ(peerWrite(unit.server, stale), 60);
    unit.act([](PipeUnit& u) { u.receivedLength = peerRead(u.server, u.received); });

    Report reply = filled(0, kInputReportId);
    unit.session.lastError = ERROR_GEN_FAILURE;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange(unit.session, kRequest, reply, 0), kSuccess);
    EXPECT_LT(millisecondsSince(start), 1000);
    EXPECT_EQ(unit.session.lastError, 0u);
    unit.finish();
    EXPECT_EQ(unit.receivedLength, 60);
    EXPECT_EQ(unit.received, kRequest);
    EXPECT_EQ(reply, stale);
}

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
    // Counted from before the signaller starts: the waiter's thread may start later.
    const auto start = std::chrono::steady_clock::now();
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

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    MessageWait, BoundedWait,
    testing::Values(BoundedWaitCase{"NothingToWaitFor", false, INFINITE, 300, false, 300},
                    BoundedWaitCase{"NeverSignalled", true, INFINITE, 300, false, 300},
                    BoundedWaitCase{"SignalledInTime", true, kLateMs, 5000, true, kLateMs * 9 / 10}),
    [](const testing::TestParamInfo<BoundedWaitCase>& info) { return info.param.name; });
// clang-format on

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
        clock.pause(20);
        const std::uint64_t spent = microsecondsSince(start);
        ASSERT_GE(spent, 20000u);
        overshoots.push_back(spent - 20000);
    }
    std::sort(overshoots.begin(), overshoots.end());
    EXPECT_LT(overshoots[overshoots.size() / 2], 8000u) << "median overshoot, microseconds";
}

}  // namespace

namespace {

// A pause begun while another one waits (by a message that the first lets through) must leave the
// first one its end: with one timer for both, the second would move the timer's due time and take
// its signal, and the first would wait for ever. Both run on a thread of their own, so that a
// wait that never ends fails the test instead of hanging it.
TEST(PreciseWait, APauseBegunByAMessageDuringAnotherLeavesBothTheirLengths) {
    constexpr std::uint32_t kOuterMs = 300;
    constexpr std::uint32_t kInnerMs = 100;
    struct Run {
        HWND window = nullptr;
        HANDLE windowMade = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        long long outerMs = -1;
        long long innerMs = -1;
    };
    // Freed only once its thread has ended.
    Run& run = *new Run;
    ASSERT_NE(run.windowMade, nullptr);
    const auto pauser = [](void* context) -> DWORD {
        auto* r = static_cast<Run*>(context);
        r->window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    nullptr, nullptr);
        SetWindowLongPtrW(r->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(r));
        SetWindowLongPtrW(
            r->window, GWLP_WNDPROC,
            reinterpret_cast<LONG_PTR>(+[](HWND window, UINT message, WPARAM w, LPARAM l) {
                if (message != WM_APP) return DefWindowProcW(window, message, w, l);
                auto* self = reinterpret_cast<Run*>(GetWindowLongPtrW(window, GWLP_USERDATA));
                const auto start = std::chrono::steady_clock::now();
                clock.pause(kInnerMs);
                self->innerMs = millisecondsSince(start);
                return LRESULT{0};
            }));
        SetEvent(r->windowMade);
        const auto start = std::chrono::steady_clock::now();
        clock.pause(kOuterMs);
        r->outerMs = millisecondsSince(start);
        DestroyWindow(r->window);
        return 0;
    };
    const HANDLE thread = CreateThread(nullptr, 0, pauser, &run, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(run.windowMade, kPeerWaitMs), WAIT_OBJECT_0);
    Sleep(50);  // into the first pause
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(run.window, WM_APP, 0, 0, SMTO_NORMAL, kPeerWaitMs, &result), 0)
        << "the pause let no message through";
    const bool ended = WaitForSingleObject(thread, kPeerWaitMs) == WAIT_OBJECT_0;
    ASSERT_TRUE(ended) << "the first pause did not end";  // its thread is left to the process's end
    CloseHandle(thread);
    CloseHandle(run.windowMade);
    EXPECT_GE(run.innerMs, static_cast<long long>(kInnerMs));
    EXPECT_GE(run.outerMs, static_cast<long long>(kOuterMs));
    EXPECT_LT(run.outerMs, kOuterMs + kInnerMs + 500);
    delete &run;
}

}  // namespace
