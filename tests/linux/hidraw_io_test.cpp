// The report transfers of the Linux backend over a SOCK_SEQPACKET socket pair, the far end
// served as the simulated unit would: whole exchanges and commands, replies of the wrong length,
// a unit that goes away, waits that run out or are interrupted by signals, and the input flush.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <ostream>

#include "device/device_session.h"
#include "device/identify_unit.h"
#include "flash/commands.h"
#include "hidraw_fixture.h"
#include "linux/hidraw_settings.h"

namespace {

constexpr std::uint32_t kReportLength = 60;
// The bound of the transfers that are not meant to wait it out.
constexpr std::uint32_t kTimeoutMs = kReportTimeoutMs;
// The bound of those that are.
constexpr std::uint32_t kShortTimeoutMs = 300;

// The session holds the socket's near end as the unit's device, with the unit's report lengths.
class SocketTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ready()) << std::strerror(errno);
        session.handle = peer.adopt();
        ASSERT_TRUE(isOpen(session));
        session.outputReportLength = kReportLength;
        session.inputReportLength = kReportLength;
    }

    hid::Device& device() { return *session.handle; }
    bool write(const Report& request) {
        return backend.writeReport(device(), request.data(), kReportLength, kTimeoutMs, &error);
    }
    bool read(std::uint8_t* reply, std::uint32_t timeoutMs = kTimeoutMs) {
        return backend.readReport(device(), reply, kReportLength, timeoutMs, &error);
    }

    // Ends the unit's service (its end sees the session's end shut) and waits for its thread.
    void finishPeer() {
        shutdown(peer.sessionEnd, SHUT_WR);
        peer.join();
    }

    SimPeer peer;
    hid::hidraw::HidrawBackend backend;
    hid::hidraw::MonotonicClock clock;
    DeviceSession session{{backend, clock}};
    hid::Error error = 0;  // of the latest transfer of the test's own
};

// What a fresh unit answers to request.
Report unitAnswer(const Report& request) {
    sim::Unit unit;
    Report reply{};
    sim::answerRequest(unit, request.data(), reply.data());
    return reply;
}

const Report kStatusQuery = makeRequest(0x08, 0x00);

// --- Whole exchanges --------------------------------------------------------------------------

class SocketExchange : public SocketTest {};

TEST_F(SocketExchange, AStatusQueryAndTheCommandsOfAnUpdateReachTheUnit) {
    peer.serve();
    Report status{};
    ASSERT_EQ(exchange(session, kStatusQuery, status, 0), kSuccess);
    EXPECT_EQ(status, unitAnswer(kStatusQuery));

    std::uint8_t area[kMaxBlockArea];
    for (std::size_t i = 0; i < sizeof area; ++i) area[i] = static_cast<std::uint8_t>(7 * i + 1);
    EXPECT_EQ(setSystemLock(session, true), kSuccess);
    EXPECT_EQ(setWriteProtection(session, false), kSuccess);
    EXPECT_EQ(eraseFirmware(session), kSuccess);
    EXPECT_EQ(setWriteAddress(session, 0x100), kSuccess);
    EXPECT_EQ(writeBlock(session, area, sizeof area, kMaxBlockWords), kSuccess);
    EXPECT_EQ(session.lastError, 0u);

    finishPeer();
    ASSERT_EQ(peer.requests.size(), 6u);
    for (const Bytes& request : peer.requests) {
        EXPECT_EQ(request.size(), kReportLength);
        EXPECT_EQ(request[0], kOutputReportId);
    }
    EXPECT_EQ(peer.requests[0], Bytes(kStatusQuery.begin(), kStatusQuery.end()));
    EXPECT_TRUE(std::equal(area, area + sizeof area, peer.unit.esc.flash.begin() + 0x100))
        << "the block did not arrive whole";
}

// An error left from an earlier failure (here the opening of a missing node) is not taken for
// the exchange's.
TEST_F(SocketExchange, ACompletedExchangeLeavesTheLastErrorZero) {
    peer.serve();
    EXPECT_EQ(backend.open("/nonexistent/hidraw99", &session.lastError), nullptr);
    ASSERT_EQ(session.lastError, static_cast<hid::Error>(ENOENT));
    Report reply{};
    EXPECT_EQ(exchange(session, kStatusQuery, reply, 0), kSuccess);
    EXPECT_EQ(session.lastError, 0u);
}

// --- Replies of the wrong length
// ------------------------------------------------------------------

// The unit's first reply has the case's bytes; it answers as usual afterwards. A reply of any
// other length than the input report's is refused, the caller's buffer untouched (it is exactly
// the report's length, so the sanitizer sees any write past it), and the bad reply is used up:
// the next exchange gets its own answer.
struct ReplyCase {
    const char* name;
    std::size_t replyLength;
    bool read;
    int error;
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class ReplyLength : public SocketTest, public testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyLength, OnlyAWholeReportIsRead) {
    const ReplyCase& c = GetParam();
    const Bytes first = reportOf({kInputReportId, 0x00, 0x00, 0x01}, c.replyLength, 0x6B);
    peer.serve([first](sim::Unit& unit, const Bytes& request, unsigned index) {
        if (index == 0) return Answer{Answer::reply, first};
        return asTheUnit(unit, request, index);
    });

    constexpr std::uint8_t kCanary = 0xC3;
    std::unique_ptr<std::uint8_t[]> reply(new std::uint8_t[kReportLength]);
    std::fill(reply.get(), reply.get() + kReportLength, kCanary);
    ASSERT_TRUE(write(kStatusQuery));
    EXPECT_EQ(read(reply.get()), c.read);
    if (!c.read) {
        EXPECT_EQ(error, static_cast<hid::Error>(c.error));
    }
    if (c.read) {
        EXPECT_TRUE(std::equal(first.begin(), first.end(), reply.get()));
    } else {
        EXPECT_TRUE(std::all_of(reply.get(), reply.get() + kReportLength, [](std::uint8_t b) {
            return b == kCanary;
        })) << "a refused reply was copied into the buffer";
    }

    Report next{};
    ASSERT_EQ(exchange(session, kStatusQuery, next, 0), kSuccess);
    EXPECT_EQ(next, unitAnswer(kStatusQuery));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Socket, ReplyLength,
    testing::Values(ReplyCase{"Whole", 60, true, 0},
                    ReplyCase{"OneByteShort", 59, false, EBADMSG},
                    ReplyCase{"ReportIdOnly", 1, false, EBADMSG},
                    ReplyCase{"OneByteLong", 61, false, EMSGSIZE},
                    ReplyCase{"FiveTimesTheLength", 300, false, EMSGSIZE}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return info.param.name; });
// clang-format on

// --- A unit that goes away ---------------------------------------------------------------------

Answer closesAfter(unsigned ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return Answer{Answer::close};
}

// The exchange ends with the socket's own error as soon as the unit has gone, not at the bound;
// every exchange after it fails at once in its write.
struct GoneCase {
    const char* name;
    bool goneBefore;      // the unit's end is closed before the exchange
    Behaviour behaviour;  // otherwise how the unit serves
    ResultCode result;
    int error;
};

void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }

class GoneUnit : public SocketTest, public testing::WithParamInterface<GoneCase> {};

TEST_P(GoneUnit, EndsTheExchangeWithItsErrno) {
    const GoneCase& c = GetParam();
    if (c.goneBefore) {
        peer.closeUnitEnd();
    } else {
        peer.serve(c.behaviour);
    }

    const auto start = std::chrono::steady_clock::now();
    Report reply{};
    EXPECT_EQ(exchange(session, kStatusQuery, reply, 0), c.result);
    EXPECT_EQ(session.lastError, static_cast<hid::Error>(c.error));
    if (c.result == kSuccess) {
        EXPECT_EQ(reply, unitAnswer(kStatusQuery));
    }

    peer.join();
    EXPECT_EQ(exchange(session, kStatusQuery, reply, 0), kWriteFailed);
    EXPECT_EQ(session.lastError, static_cast<hid::Error>(EPIPE));
    EXPECT_LT(millisecondsSince(start), 5000) << "ended by the bound, not by the socket";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Socket, GoneUnit,
    testing::Values(
        GoneCase{"GoneBeforeTheRequest", true, nullptr, kWriteFailed, EPIPE},
        GoneCase{"GoesOnTheRequest", false,
                 [](sim::Unit&, const Bytes&, unsigned) { return closesAfter(0); }, kReadFailed,
                 ENODEV},
        GoneCase{"GoesWhileTheReadWaits", false,
                 [](sim::Unit&, const Bytes&, unsigned) { return closesAfter(200); },
                 kReadFailed, ENODEV},
        // What the unit sent before it went is still read.
        GoneCase{"AnswersAndGoes", false,
                 [](sim::Unit& unit, const Bytes& request, unsigned index) {
                     Answer answer = asTheUnit(unit, request, index);
                     answer.closeAfter = true;
                     return answer;
                 },
                 kSuccess, 0}),
    [](const testing::TestParamInfo<GoneCase>& info) { return info.param.name; });
// clang-format on

// --- Bounded waits
// --------------------------------------------------------------------------------

class BoundedWait : public SocketTest {};

// The read that ran out at the caller's bound no longer touches the reply, and an answer that
// comes too late waits for the next read.
TEST_F(BoundedWait, AnUnansweredReadEndsAtTheCallersBound) {
    peer.serve([](sim::Unit&, const Bytes&, unsigned) { return Answer{Answer::silent}; });
    ASSERT_TRUE(write(kStatusQuery));
    Report reply;
    reply.fill(0xC3);
    reply[0] = kInputReportId;  // as exchange sets it
    const Report canary = reply;

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(read(reply.data(), kShortTimeoutMs));
    const long long elapsed = millisecondsSince(start);
    EXPECT_EQ(error, static_cast<hid::Error>(ETIMEDOUT));
    EXPECT_GE(elapsed, static_cast<long long>(kShortTimeoutMs));
    EXPECT_LT(elapsed, kShortTimeoutMs + 1500);
    EXPECT_EQ(reply, canary);

    const Bytes late = reportOf({kInputReportId, 0x00, 0x00, 0x07}, kReportLength, 0x5A);
    ASSERT_TRUE(peer.send(late));
    Report next{};
    EXPECT_TRUE(read(next.data()));
    EXPECT_TRUE(std::equal(late.begin(), late.end(), next.begin()));
}

// A unit that takes no more requests: the session's end fills up, and the write waits out its
// bound (shortened here) instead of blocking.
TEST_F(BoundedWait, AWriteThatCannotGoOutEndsAtTheBound) {
    while (send(peer.sessionEnd, kStatusQuery.data(), kReportLength, MSG_DONTWAIT | MSG_NOSIGNAL) ==
           static_cast<ssize_t>(kReportLength)) {
    }
    ASSERT_EQ(errno, EAGAIN);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(
        backend.writeReport(device(), kStatusQuery.data(), kReportLength, kShortTimeoutMs, &error));
    const long long elapsed = millisecondsSince(start);
    EXPECT_EQ(error, static_cast<hid::Error>(ETIMEDOUT));
    EXPECT_GE(elapsed, static_cast<long long>(kShortTimeoutMs));
    EXPECT_LT(elapsed, 2000);
}

// Signals keep arriving at the waiting thread, every 20 ms, until its wait ends (for 3 s at the
// most). A wait must neither end early nor start over at each signal.
std::atomic<int> signalsCaught{0};
extern "C" void noteSignal(int) { ++signalsCaught; }

enum class Wait { unansweredRead, lateAnswer, pause };
constexpr unsigned kAnswerAfterMs = 300;

struct SignalCase {
    const char* name;
    Wait wait;
    std::uint32_t timeoutMs;  // of the read
    bool completed;
    int error;
    long long atLeastMs;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class SignalDuringWait : public SocketTest, public testing::WithParamInterface<SignalCase> {
protected:
    void SetUp() override {
        SocketTest::SetUp();
        struct sigaction action {};
        action.sa_handler = noteSignal;  // no SA_RESTART: the wait sees EINTR
        sigemptyset(&action.sa_mask);
        sigaction(SIGUSR1, &action, &previous);
        signalsCaught = 0;
    }
    void TearDown() override {
        sigaction(SIGUSR1, &previous, nullptr);
        SocketTest::TearDown();
    }
    struct sigaction previous {};
};

TEST_P(SignalDuringWait, NeitherEndsNorRestartsIt) {
    const SignalCase& c = GetParam();
    peer.serve([&c](sim::Unit& unit, const Bytes& request, unsigned index) {
        if (c.wait == Wait::unansweredRead) return Answer{Answer::silent};
        std::this_thread::sleep_for(std::chrono::milliseconds(kAnswerAfterMs));
        return asTheUnit(unit, request, index);
    });
    if (c.wait != Wait::pause) {
        ASSERT_TRUE(write(kStatusQuery));
    }

    const pthread_t waiter = pthread_self();
    std::atomic<bool> waitEnded{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread signaller([&] {
        while (!waitEnded && millisecondsSince(start) < 3000) {
            pthread_kill(waiter, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    bool completed = true;
    Report reply{};
    if (c.wait == Wait::pause) {
        clock.pause(kAnswerAfterMs);
    } else {
        completed = read(reply.data(), c.timeoutMs);
    }
    const long long elapsed = millisecondsSince(start);
    waitEnded = true;
    signaller.join();

    EXPECT_EQ(completed, c.completed);
    if (!completed) {
        EXPECT_EQ(error, static_cast<hid::Error>(c.error));
    }
    EXPECT_GE(elapsed, c.atLeastMs);
    EXPECT_LT(elapsed, c.atLeastMs + 1200);
    EXPECT_GE(signalsCaught.load(), 5) << "the signals did not reach the wait";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Socket, SignalDuringWait,
    testing::Values(
        SignalCase{"UnansweredRead", Wait::unansweredRead, kShortTimeoutMs, false, ETIMEDOUT, 300},
        SignalCase{"LateAnswer", Wait::lateAnswer, kTimeoutMs, true, 0, 270},
        SignalCase{"Pause", Wait::pause, 0, true, 0, 300}),
    [](const testing::TestParamInfo<SignalCase>& info) { return info.param.name; });
// clang-format on

// --- The input flush
// ------------------------------------------------------------------------------

// Reports that the unit sent unasked (replies meant for another program, or late ones) are all
// dropped, each whole, however long: a read that does not wait finds nothing left.
struct QueuedCase {
    const char* name;
    unsigned count;
    std::size_t length;
};

void PrintTo(const QueuedCase& c, std::ostream* os) { *os << c.name; }

class FlushInput : public SocketTest, public testing::WithParamInterface<QueuedCase> {};

TEST_P(FlushInput, DropsEveryQueuedReport) {
    const QueuedCase& c = GetParam();
    for (unsigned stale = 1; stale <= c.count; ++stale) {
        const auto mark = static_cast<std::uint8_t>(stale);
        ASSERT_TRUE(peer.send(reportOf({kInputReportId, 0x00, 0x00, mark}, c.length, 0xEE)))
            << stale;
    }
    backend.flushInput(device());
    Report reply{};
    EXPECT_FALSE(read(reply.data(), 0)) << "a report was left";
    EXPECT_EQ(error, static_cast<hid::Error>(ETIMEDOUT));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Socket, FlushInput,
    testing::Values(QueuedCase{"One", 1, kReportLength},
                    QueuedCase{"Three", 3, kReportLength},
                    // As many as hidraw keeps for a reader.
                    QueuedCase{"SixtyFour", 64, kReportLength},
                    // Longer than the flush's buffer: the rest of each goes with it.
                    QueuedCase{"LongerThanTheBuffer", 3, 200}),
    [](const testing::TestParamInfo<QueuedCase>& info) { return info.param.name; });
// clang-format on

class Flush : public SocketTest {};

// A report nobody asked for, queued before a request, is never taken as its reply: each
// exchange reads the answer to its own request, also when one arrives between two exchanges.
TEST_F(Flush, AReportNobodyAskedForIsNeverTakenAsAReply) {
    const Bytes stray = reportOf({kInputReportId, 0x00, 0x00, 0x55}, kReportLength, 0xEE);
    ASSERT_TRUE(peer.send(stray));
    ASSERT_TRUE(peer.send(stray));
    peer.serve();
    Report reply{};
    ASSERT_EQ(exchange(session, kStatusQuery, reply, 0), kSuccess);
    EXPECT_EQ(reply, unitAnswer(kStatusQuery));

    ASSERT_TRUE(peer.send(stray));
    ASSERT_EQ(exchange(session, controllerInfoRead(), reply, 0), kSuccess);
    EXPECT_EQ(reply, unitAnswer(controllerInfoRead()));
    EXPECT_NE(reply, unitAnswer(kStatusQuery));
}

TEST_F(Flush, ReturnsAtOnceWithNothingQueued) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(backend.flushInput(device())) << "nothing was there to drop";
    EXPECT_LT(millisecondsSince(start), 1000);
}

// The update needs to know whether anything was dropped: one report queued is enough.
TEST_F(Flush, TellsThatItDroppedAReport) {
    ASSERT_TRUE(peer.send(reportOf({kInputReportId}, kReportLength)));
    EXPECT_TRUE(backend.flushInput(device()));
    EXPECT_FALSE(backend.flushInput(device())) << "the node is empty now";
}

// A closed end reads as end of file for ever; the flush stops there, and the next read fails
// at once.
TEST_F(Flush, StopsAtAUnitThatHasGone) {
    ASSERT_TRUE(peer.send(reportOf({kInputReportId}, kReportLength)));
    ASSERT_TRUE(peer.send(reportOf({kInputReportId}, kReportLength)));
    peer.closeUnitEnd();
    const auto start = std::chrono::steady_clock::now();
    backend.flushInput(device());
    Report reply{};
    EXPECT_FALSE(read(reply.data()));
    EXPECT_EQ(error, static_cast<hid::Error>(ENODEV));
    EXPECT_LT(millisecondsSince(start), 1000);
}

// A device that never stops sending (here /dev/zero, always readable) does not hold the flush.
TEST(FlushEndless, EndsWhileADeviceKeepsSending) {
    const hid::OpenDevice endless(
        hid::hidraw::adoptDescriptor(open("/dev/zero", O_RDONLY | O_NONBLOCK | O_CLOEXEC)));
    hid::hidraw::HidrawBackend backend;
    const auto start = std::chrono::steady_clock::now();
    backend.flushInput(*endless);
    EXPECT_LT(millisecondsSince(start), 5000);
}

// --- Descriptors that are no open device
// ----------------------------------------------------------

TEST(BadDescriptor, TransfersFailAtOnceWithEbadf) {
    hid::hidraw::HidrawBackend backend;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[1]);
    const hid::OpenDevice closed(hid::hidraw::adoptDescriptor(ends[0]));
    close(ends[0]);  // a number that nothing holds, as long as this test opens nothing
    const hid::OpenDevice none(hid::hidraw::adoptDescriptor(-1));
    Report report = kStatusQuery;
    for (hid::Device* device : {closed.get(), none.get()}) {
        const auto start = std::chrono::steady_clock::now();
        hid::Error error = 0;
        EXPECT_FALSE(
            backend.writeReport(*device, report.data(), kReportLength, kTimeoutMs, &error));
        EXPECT_EQ(error, static_cast<hid::Error>(EBADF));
        error = 0;
        EXPECT_FALSE(backend.readReport(*device, report.data(), kReportLength, kTimeoutMs, &error));
        EXPECT_EQ(error, static_cast<hid::Error>(EBADF));
        backend.flushInput(*device);
        EXPECT_LT(millisecondsSince(start), 1000);
    }
}

}  // namespace
