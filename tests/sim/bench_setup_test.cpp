// The demo bench's choices: the words of UPDATER_SIM_BENCH, what each choice puts on the bench as
// the updater's identification sees it, and the bench worked from a second thread.
#include <functional>
#include <thread>
#include <vector>

#include "flash/commands.h"
#include "sim/bench_setup.h"
#include "sim/sim_fixture.h"

namespace {

using sim::Attachment;
using sim::EscFirmware;
using sim::Product;
using sim::UnitSetup;

bool operator==(const UnitSetup& a, const UnitSetup& b) {
    return a.product == b.product && a.attachment == b.attachment && a.firmware == b.firmware &&
           a.pluggedIn == b.pluggedIn && a.refusedCommand == b.refusedCommand;
}

struct WordsCase {
    const char* name;
    const char* words;
    UnitSetup expected;
};

class SetupWords : public ::testing::TestWithParam<WordsCase> {};

TEST_P(SetupWords, ChooseWhatTheyName) {
    UnitSetup setup;
    ASSERT_TRUE(sim::parseUnitSetup(GetParam().words, &setup));
    EXPECT_TRUE(setup == GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, SetupWords,
    ::testing::Values(
        WordsCase{"NoneKeepTheDemoStart", "", UnitSetup{}},
        WordsCase{"OneWord", "wrong-mode", {Product::linkCube, Attachment::wrongMode,
                                            EscFirmware::version0_9, true}},
        WordsCase{"EveryList", "linkwave other-type no-firmware unplugged",
                  {Product::linkwave, Attachment::otherController, EscFirmware::none, false}},
        WordsCase{"CommasAndRepeatedSpaces", "accepted-alt,,firmware-1.0  linkcube",
                  {Product::linkCube, Attachment::acceptedControllerAlt, EscFirmware::version1_0,
                   true}},
        WordsCase{"LaterWordWins", "no-controller accepted unplugged plugged", UnitSetup{}},
        WordsCase{"ARefusal", "linkwave erase-refused",
                  {Product::linkwave, Attachment::acceptedController, EscFirmware::version0_9,
                   true, 0x1E}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The command-line demo's list: commas separate units only where each part is a whole entry, so
// that an entry written with commas between its words stays one unit.
TEST(BenchList, CommasSeparateUnitsWhereEachPartIsAWholeEntry) {
    const struct {
        const char* words;
        std::vector<UnitSetup> expected;
    } cases[] = {
        {"ready,ready,erase-refused",
         {UnitSetup{},
          UnitSetup{},
          {Product::linkCube, Attachment::acceptedController, EscFirmware::version0_9, true,
           0x1E}}},
        {"ready, linkwave no-firmware",
         {UnitSetup{}, {Product::linkwave, Attachment::acceptedController, EscFirmware::none}}},
        {"linkwave wrong-mode", {{Product::linkwave, Attachment::wrongMode}}},
        {"accepted-alt,,firmware-1.0  linkcube",
         {{Product::linkCube, Attachment::acceptedControllerAlt, EscFirmware::version1_0}}},
        {"linkwave erase-refused ready", {UnitSetup{}}},  // ready: the default unit again
        {"", {UnitSetup{}}},
    };
    for (const auto& c : cases) {
        std::vector<UnitSetup> setups;
        ASSERT_TRUE(sim::parseBenchList(c.words, UnitSetup{}, &setups)) << c.words;
        ASSERT_EQ(setups.size(), c.expected.size()) << c.words;
        for (std::size_t i = 0; i < setups.size(); ++i) {
            EXPECT_TRUE(setups[i] == c.expected[i]) << c.words << " #" << i;
        }
    }
    std::vector<UnitSetup> setups(2);
    EXPECT_FALSE(sim::parseBenchList("ready,linkcbue", UnitSetup{}, &setups));
    EXPECT_EQ(setups.size(), 2u) << "left alone";
}

TEST(SetupWords, AnUnknownWordLeavesTheSetupAlone) {
    UnitSetup setup;
    setup.product = Product::linkwave;
    const UnitSetup before = setup;
    EXPECT_FALSE(sim::parseUnitSetup("wrong-mode linkcbue", &setup));
    EXPECT_TRUE(setup == before);
    EXPECT_FALSE(sim::parseUnitSetup("Wrong-Mode", &setup));
}

// What the updater learns from the unit that a setup puts on the bench.
struct UnitCase {
    const char* name;
    UnitSetup setup;
    std::uint16_t productId;
    std::uint8_t unitMode;
    std::uint16_t escStatus;
    std::uint32_t typeCode;
    std::uint16_t firmwareVersion;
};

class SetupUnits : public SimTest, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(SetupUnits, IdentifyAsChosen) {
    const UnitCase& c = GetParam();
    sim::plugIn(sim::unitFor(c.setup));
    ASSERT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(session.productId, c.productId);
    EXPECT_EQ(session.unitMode, c.unitMode);
    EXPECT_EQ(session.escStatus, c.escStatus);
    EXPECT_EQ(escTypeCode(session), c.typeCode);
    EXPECT_EQ(escFirmwareVersion(session), c.firmwareVersion);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, SetupUnits,
    ::testing::Values(
        UnitCase{"DemoStart", UnitSetup{}, 2, 0, 3, 0x110FA0FA, 0x0009},
        UnitCase{"OtherAcceptedType",
                 {Product::linkCube, Attachment::acceptedControllerAlt, EscFirmware::version1_0},
                 2, 0, 3, 0x0A0640FA, 0x0100},
        UnitCase{"OtherType", {Product::linkwave, Attachment::otherController}, 1, 0, 3,
                 sim::kOtherTypeCode, 0x0009},
        UnitCase{"NoFirmware", {Product::linkwave, Attachment::acceptedController,
                                EscFirmware::none}, 1, 0, 3, 0x110FA0FA, 0xFFFF},
        UnitCase{"NoController", {Product::linkCube, Attachment::noController}, 2, 0, 0, 0, 0},
        UnitCase{"WrongMode", {Product::linkCube, Attachment::wrongMode}, 2, 1, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// "silent-controller": the unit answers its status, the controller never answers its query; the
// identification ends at the read's bound with the unit left open.
TEST_F(SimTest, SilentControllerLeavesTheIdentificationAtItsBound) {
    UnitSetup setup;
    ASSERT_TRUE(sim::parseUnitSetup("silent-controller", &setup));
    EXPECT_EQ(setup.attachment, Attachment::silentController);
    sim::plugIn(sim::unitFor(setup));
    EXPECT_EQ(openSession(session), kReadFailed);
    EXPECT_EQ(sim::now(), kReportTimeoutMs);
    EXPECT_EQ(commandsSent(), (std::vector<std::uint8_t>{0x08, 0x1D}));
    EXPECT_TRUE(isOpen(session));
}

// A refusal word makes the unit refuse its one command of an update, every time it comes, and
// carry out the ones before it. The lock is judged by its echo alone, so its refusal shows as the
// missing echo.
struct RefusalCase {
    const char* word;
    std::size_t refusedStep;  // in the update's order: lock, protection, erase, address, block
    ResultCode result;
};

class SetupRefusals : public SimTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SetupRefusals, RefuseTheirCommandOfAnUpdate) {
    const RefusalCase& c = GetParam();
    UnitSetup setup;
    ASSERT_TRUE(sim::parseUnitSetup(c.word, &setup));
    sim::plugIn(sim::unitFor(setup));
    ASSERT_EQ(openSession(session), kSuccess);
    const std::uint8_t block[48] = {};
    const std::function<ResultCode()> steps[] = {
        [&] { return setSystemLock(session, true); },
        [&] { return setWriteProtection(session, false); },
        [&] { return eraseFirmware(session); },
        [&] { return setWriteAddress(session, 0); },
        [&] { return writeBlock(session, block, sizeof block, 12); },
    };
    for (std::size_t i = 0; i < c.refusedStep; ++i) ASSERT_EQ(steps[i](), kSuccess) << "step " << i;
    EXPECT_EQ(steps[c.refusedStep](), c.result);
    EXPECT_EQ(steps[c.refusedStep](), c.result) << "a second time";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, SetupRefusals,
    ::testing::Values(RefusalCase{"lock-refused", 0, kStateNotConfirmed},
                      RefusalCase{"unprotect-refused", 1, sim::kRefusedHardwareFault},
                      RefusalCase{"erase-refused", 2, sim::kRefusedHardwareFault},
                      RefusalCase{"address-refused", 3, sim::kRefusedHardwareFault},
                      RefusalCase{"block-refused", 4, sim::kRefusedHardwareFault}),
    [](const auto& info) {
        std::string name = info.param.word;
        name.erase(name.find('-'), 1);
        return name;
    });
// clang-format on

// block-never-ends: the unit takes the first block and never ends its transfer, so the write runs
// out of its bound (-2, ERROR_TIMEOUT) unanswered; the unit carries on with the next block.
TEST_F(SimTest, BlockThatNeverEndsRunsOutOfTimeOnce) {
    UnitSetup setup;
    ASSERT_TRUE(sim::parseUnitSetup("block-never-ends", &setup));
    sim::plugIn(sim::unitFor(setup));
    ASSERT_EQ(openSession(session), kSuccess);
    ASSERT_EQ(setSystemLock(session, true), kSuccess);
    ASSERT_EQ(setWriteProtection(session, false), kSuccess);
    ASSERT_EQ(eraseFirmware(session), kSuccess);
    ASSERT_EQ(setWriteAddress(session, 0), kSuccess);
    const std::uint8_t block[48] = {};
    const std::uint64_t start = sim::now();
    EXPECT_EQ(writeBlock(session, block, sizeof block, 12), kWriteFailed);
    EXPECT_EQ(session.lastError, sim::kErrorTimeout);
    EXPECT_GE(sim::now() - start, kReportTimeoutMs);
    EXPECT_EQ(writeBlock(session, block, sizeof block, 12), kSuccess) << "the next block";
    EXPECT_EQ(commandsSent().back(), 0x1B);
}

// The demo's bench window plugs and unplugs from its own thread while the updater talks to the
// unit; under the sanitizers a bench that is not guarded shows up here as a use after free.
TEST_F(SimTest, BenchWorkedFromAnotherThreadWhileTheUnitIsInUse) {
    plugUnit();
    std::thread bench([] {
        for (int i = 0; i < 2000; ++i) {
            const std::lock_guard<std::mutex> hold(sim::benchMutex());
            sim::unplug(sim::plugIn(sim::programmingUnit(1)));
        }
    });
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(openSession(session), kSuccess);
        ASSERT_EQ(session.productId, 2);
    }
    bench.join();
}

}  // namespace
