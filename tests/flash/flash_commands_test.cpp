// The bootloader commands: their request bytes, how their replies are judged, and what the
// simulated bootloader makes of them.
#include <functional>
#include <numeric>

#include "flash/commands.h"
#include "sim/sim_fixture.h"

namespace {

using Command = std::function<ResultCode(DeviceSession&)>;
using Bytes = std::vector<std::uint8_t>;

// A 56-byte area whose bytes are 0xA0, 0xA1, ... so that every position is recognisable.
Bytes patternArea(std::size_t length) {
    Bytes area(length);
    std::iota(area.begin(), area.end(), std::uint8_t{0xA0});
    return area;
}

Command block(std::size_t areaLength, std::uint32_t words) {
    return [=](DeviceSession& s) {
        const Bytes area = patternArea(areaLength);
        return writeBlock(s, area.data(), area.size(), words);
    };
}

// The request of a block command: header, then the area from byte 4.
Bytes blockRequest(std::uint8_t declared, std::size_t areaLength) {
    Bytes request = reportBytes({0x01, 0x1B, declared, 0x00});
    const Bytes area = patternArea(areaLength);
    std::copy(area.begin(), area.end(), request.begin() + 4);
    return request;
}

// A fixture with an identified, open unit whose exchanges from here on are counted afresh.
class FlashTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        plugUnit();
        ASSERT_EQ(openSession(session), kSuccess);
        first = sim::exchangeCount();
        firstLine = sim::transcript().size();
    }
    // The requests written since SetUp.
    std::vector<Bytes> sent() const {
        std::vector<Bytes> out;
        for (std::size_t i = firstLine; i < sim::transcript().size(); ++i) {
            if (sim::transcript()[i].out) out.push_back(sim::transcript()[i].bytes);
        }
        return out;
    }
    void answerNextWith(Bytes reply) {
        sim::addFault({first, sim::FaultKind::scripted, 0, std::move(reply)});
    }
    unsigned first = 0;
    std::size_t firstLine = 0;
};

struct RequestCase {
    const char* name;
    Command command;
    Bytes request;  // the full 60-byte report; empty when nothing may be sent
    ResultCode resultWithoutSending = kSuccess;
};

class CommandRequests : public FlashTest, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(CommandRequests, CarryTheirLayout) {
    const RequestCase& c = GetParam();
    const ResultCode result = c.command(session);
    if (c.request.empty()) {
        EXPECT_EQ(result, c.resultWithoutSending);
        EXPECT_TRUE(sent().empty());
    } else {
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0], c.request);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, CommandRequests,
    ::testing::Values(
        RequestCase{"LockSet", [](auto& s) { return setSystemLock(s, true); },
                    reportBytes({0x01, 0x0B, 0x01, 0x01})},
        RequestCase{"LockRelease", [](auto& s) { return setSystemLock(s, false); },
                    reportBytes({0x01, 0x0B, 0x01, 0x00})},
        RequestCase{"LockAnyNonzeroState", [](auto& s) { return setSystemLock(s, 7); },
                    reportBytes({0x01, 0x0B, 0x01, 0x01})},
        RequestCase{"Protect", [](auto& s) { return setWriteProtection(s, true); },
                    reportBytes({0x01, 0x20, 0x01, 0x01})},
        RequestCase{"Unprotect", [](auto& s) { return setWriteProtection(s, false); },
                    reportBytes({0x01, 0x20, 0x01, 0x00})},
        RequestCase{"ProtectAnyNonzeroState", [](auto& s) { return setWriteProtection(s, 0x80); },
                    reportBytes({0x01, 0x20, 0x01, 0x01})},
        RequestCase{"Erase", [](auto& s) { return eraseFirmware(s); },
                    reportBytes({0x01, 0x1E, 0x04, 0x00, 0x91, 0x3C, 0x2F, 0x6A})},
        RequestCase{"AddressZero", [](auto& s) { return setWriteAddress(s, 0); },
                    reportBytes({0x01, 0x1F, 0x09, 0x01, 0, 0, 0, 0, 0x91, 0x3C, 0x2F, 0x6A})},
        RequestCase{"AddressLittleEndian", [](auto& s) { return setWriteAddress(s, 0x12345678); },
                    reportBytes({0x01, 0x1F, 0x09, 0x01, 0x78, 0x56, 0x34, 0x12, 0x91, 0x3C,
                                 0x2F, 0x6A})},
        RequestCase{"BlockOfNoWords", block(0, 0), reportBytes({0x01, 0x1B, 0x00})},
        RequestCase{"BlockOfEightWordsCarriesTheWholeArea", block(48, 8), blockRequest(32, 48)},
        RequestCase{"BlockOfTwelveWords", block(48, 12), blockRequest(48, 48)},
        RequestCase{"BlockOfFourteenWordsFillsTheReport", block(56, 14), blockRequest(56, 56)},
        RequestCase{"BlockOfFifteenWordsIsRefused", block(56, 15), {}, kNotAvailable},
        RequestCase{"AreaLongerThanAReportIsRefused", block(57, 14), {}, kNotAvailable},
        RequestCase{"AreaShorterThanItsWordsIsRefused", block(44, 12), {}, kNotAvailable}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ReplyJudging: each case scripts the reply to one command.
struct JudgeCase {
    const char* name;
    Command command;
    Bytes reply;  // leading bytes of the reply
    ResultCode result;
};

class ReplyJudging : public FlashTest, public ::testing::WithParamInterface<JudgeCase> {};

TEST_P(ReplyJudging, FollowsTheCommandsRule) {
    answerNextWith(GetParam().reply);
    EXPECT_EQ(GetParam().command(session), GetParam().result);
}

const Command lockOn = [](auto& s) { return setSystemLock(s, true); };
const Command lockOff = [](auto& s) { return setSystemLock(s, false); };
const Command unprotect = [](auto& s) { return setWriteProtection(s, false); };
const Command protect = [](auto& s) { return setWriteProtection(s, true); };
const Command erase = [](auto& s) { return eraseFirmware(s); };
const Command address = [](auto& s) { return setWriteAddress(s, 0); };
const Command block12 = block(48, 12);

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyJudging,
    ::testing::Values(
        // The lock is judged by its echo alone, even in a refused reply.
        JudgeCase{"LockEchoed", lockOn, {2, 0, 0, 1}, kSuccess},
        JudgeCase{"LockEchoedInARefusal", lockOn, {2, 0xFF, 0, 1, 9, 9, 9, 9}, kSuccess},
        JudgeCase{"LockNotEchoed", lockOn, {2, 0, 0, 0}, kStateNotConfirmed},
        JudgeCase{"ReleaseEchoed", lockOff, {2, 0, 0, 0}, kSuccess},
        JudgeCase{"ReleaseNotEchoed", lockOff, {2, 0, 0, 1}, kStateNotConfirmed},
        // The write protection: refusal rule first, then the echo.
        JudgeCase{"UnprotectEchoed", unprotect, {2, 0, 0, 0}, kSuccess},
        JudgeCase{"UnprotectNotEchoed", unprotect, {2, 0, 0, 1}, kStateNotConfirmed},
        JudgeCase{"UnprotectRefusedWhateverTheEcho", unprotect, {2, 0xFF, 0, 0, 1, 2, 3, 4},
                  0x04030201},
        JudgeCase{"UnprotectRefusedWithZero", unprotect, {2, 0xFF, 0, 1, 0, 0, 0, 0}, kSuccess},
        JudgeCase{"ProtectEchoed", protect, {2, 0, 0, 1}, kSuccess},
        // Erase, address and block: the refusal rule alone.
        JudgeCase{"EraseCarriedOut", erase, {2, 0x00, 0, 7, 1, 2, 3, 4}, kSuccess},
        JudgeCase{"EraseRefused", erase, {2, 0xFF, 0, 0, 1, 2, 3, 4}, 0x04030201},
        JudgeCase{"EraseRefusedWithZero", erase, {2, 0xFF, 0, 0, 0, 0, 0, 0}, kSuccess},
        JudgeCase{"EraseRefusedWithAllOnes", erase, {2, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},
                  kNotAvailable},
        JudgeCase{"AddressRefused", address, {2, 0xFF, 0, 0, 0x5B, 0x06, 0, 0}, 1627},
        JudgeCase{"AddressRefusedWithZero", address, {2, 0xFF}, kSuccess},
        JudgeCase{"BlockRefused", block12, {2, 0xFF, 0, 0, 1, 2, 3, 4}, 0x04030201},
        JudgeCase{"BlockRefusedWithZero", block12, {2, 0xFF}, kSuccess},
        JudgeCase{"BlockCarriedOut", block12, {2, 0x01, 0, 0, 1, 2, 3, 4}, kSuccess}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The channel's own results pass through every command unchanged.
struct ChannelCase {
    const char* name;
    Command command;
};

class CommandChannelResults : public FlashTest,
                              public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(CommandChannelResults, PassThrough) {
    sim::addFault({first, sim::FaultKind::writeFails, 0});
    sim::addFault({first + 1, sim::FaultKind::readFails, 0});
    EXPECT_EQ(GetParam().command(session), kWriteFailed);
    EXPECT_EQ(session.lastError, sim::kErrorGenFailure);
    EXPECT_EQ(GetParam().command(session), kReadFailed);

    closeSession(session);
    const std::size_t lines = sim::transcript().size();
    EXPECT_EQ(GetParam().command(session), kNotAvailable);
    EXPECT_EQ(sim::transcript().size(), lines) << "nothing is sent on a closed session";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, CommandChannelResults,
                         ::testing::Values(ChannelCase{"Lock", lockOn},
                                           ChannelCase{"Protection", unprotect},
                                           ChannelCase{"Erase", erase},
                                           ChannelCase{"Address", address},
                                           ChannelCase{"Block", block12}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(FlashTest, EraseReplyIsReadNoSoonerThanASecondAfterItsRequest) {
    eraseFirmware(session);
    const auto& lines = sim::transcript();
    ASSERT_EQ(lines.size(), firstLine + 2);
    EXPECT_GE(lines[firstLine + 1].ms - lines[firstLine].ms, 1000u);
}

TEST_F(FlashTest, OtherCommandsDoNotPause) {
    const std::uint64_t before = sim::now();
    setSystemLock(session, true);
    setWriteProtection(session, false);
    setWriteAddress(session, 0);
    block12(session);
    EXPECT_EQ(sim::now(), before);
}

// The simulated bootloader takes the commands only in a sensible order, as a real one would.
struct BootloaderCase {
    const char* name;
    std::vector<Command> prefix;  // sent first, results not looked at
    Command command;
    ResultCode result;
};

class SimBootloader : public FlashTest, public ::testing::WithParamInterface<BootloaderCase> {};

TEST_P(SimBootloader, HonoursLockProtectionAndErase) {
    for (const Command& command : GetParam().prefix) command(session);
    EXPECT_EQ(GetParam().command(session), GetParam().result);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, SimBootloader,
    ::testing::Values(
        BootloaderCase{"UnprotectNeedsTheLock", {}, unprotect, ResultCode(sim::kRefusedNotLocked)},
        BootloaderCase{"EraseNeedsUnprotected", {lockOn}, erase,
                       ResultCode(sim::kRefusedWriteProtected)},
        BootloaderCase{"BlockNeedsTheErase", {lockOn, unprotect}, block12,
                       ResultCode(sim::kRefusedNotErased)},
        BootloaderCase{"EraseWhenReady", {lockOn, unprotect}, erase, kSuccess},
        BootloaderCase{"BlockAfterErase", {lockOn, unprotect, erase, address}, block12, kSuccess},
        BootloaderCase{"NothingAfterRelease", {lockOn, unprotect, lockOff}, erase,
                       ResultCode(sim::kRefusedNotLocked)}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(FlashTest, BootloaderStoresTheDeclaredWordsInOrder) {
    setSystemLock(session, true);
    setWriteProtection(session, false);
    eraseFirmware(session);
    setWriteAddress(session, 0);
    const Bytes area = patternArea(48);
    ASSERT_EQ(writeBlock(session, area.data(), area.size(), 12), kSuccess);
    ASSERT_EQ(writeBlock(session, area.data(), area.size(), 8), kSuccess);
    setWriteProtection(session, true);
    setSystemLock(session, false);

    const sim::Controller& esc = sim::devices().front().unit.esc;
    ASSERT_EQ(esc.highestWritten, 80u);
    EXPECT_TRUE(std::equal(area.begin(), area.end(), esc.flash.begin()));
    EXPECT_TRUE(std::equal(area.begin(), area.begin() + 32, esc.flash.begin() + 48));
    EXPECT_EQ(esc.flash[80], 0xFF) << "bytes beyond the declared words are not written";
    EXPECT_EQ(esc.firmwareVersion, 0x0100);
}

TEST_F(FlashTest, MissingEchoFaultLeavesTheStateUnconfirmed) {
    sim::addFault({first, sim::FaultKind::dropEcho, 0});
    EXPECT_EQ(setSystemLock(session, true), kStateNotConfirmed);
}

}  // namespace
