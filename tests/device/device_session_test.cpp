// Finding, opening and closing the programming unit, and the request/reply channel.
#include <cstring>
#include <cwchar>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "sim/sim_fixture.h"

namespace {

using sim::Device;

// Stateless: the bench's operations work on the bench in place.
sim::BenchBackend anyBackend;
sim::BenchClock anyClock;

bool isClosedRecord(const DeviceSession& s) {
    const DeviceSession closed({anyBackend, anyClock});
    return s.handle == nullptr && s.devicePath.empty() && s.lastError == 0 &&
           s.outputReportLength == 0 && s.inputReportLength == 0 && s.unitMode == 0 &&
           s.unitFirmwareVersion == 0 && s.unitAuxValue == 0 && s.escStatus == 0 &&
           s.escAuxValue == 0 && s.productId == 0 &&
           std::memcmp(&s.unitLoaderInfo, &closed.unitLoaderInfo, sizeof closed.unitLoaderInfo) ==
               0 &&
           std::memcmp(s.escInfoBlock, closed.escInfoBlock, sizeof closed.escInfoBlock) == 0 &&
           std::memcmp(s.escLoaderBlock, closed.escLoaderBlock, sizeof closed.escLoaderBlock) == 0;
}

Device mouse() { return sim::otherDevice(0x845E, 1, "\\\\?\\hid#mouse"); }
Device keyboard() { return sim::otherDevice(0x845E, 2, "\\\\?\\hid#keyboard"); }
Device unitAt(const char* path, std::uint16_t productId = 2) {
    return sim::programmingUnit(productId, path);
}
Device withFlags(Device device, bool detailFails, bool openFails, bool attributesFail) {
    device.detailFails = detailFails;
    device.openFails = openFails;
    device.attributesFail = attributesFail;
    return device;
}

struct EnumerationCase {
    const char* name;
    std::vector<Device> devices;
    ResultCode result;
    const char* openedPath;  // null: the record stays closed
    std::uint16_t productId;
};

class Enumeration : public SimTest, public ::testing::WithParamInterface<EnumerationCase> {};

TEST_P(Enumeration, OpensTheFirstProgrammingUnit) {
    const EnumerationCase& c = GetParam();
    for (const Device& device : c.devices) sim::plugIn(device);

    EXPECT_EQ(openSession(session), c.result);

    if (c.openedPath == nullptr) {
        EXPECT_TRUE(isClosedRecord(session));
    } else {
        EXPECT_EQ(session.devicePath, c.openedPath);
        EXPECT_EQ(session.productId, c.productId);
    }
    // Every device that was opened and is not the unit has been closed again, and no device
    // after the unit was looked at.
    bool pastUnit = false;
    for (const Device& device : sim::devices()) {
        const bool isUnit = c.openedPath != nullptr && device.path == c.openedPath;
        if (pastUnit) {
            EXPECT_EQ(device.opens, 0u) << "looked past the first match";
        }
        if (isUnit) {
            EXPECT_EQ(device.opens, 1u);
            EXPECT_EQ(device.closes, 0u);
            pastUnit = true;
        } else {
            EXPECT_EQ(device.opens, device.closes);
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Enumeration,
    ::testing::Values(
        EnumerationCase{"NoDevices", {}, kNoUnitPresent, nullptr, 0},
        EnumerationCase{"OnlyOtherDevices", {mouse(), keyboard()}, kNoUnitPresent, nullptr, 0},
        EnumerationCase{"ProductIdThreeRejected", {sim::programmingUnit(3, "pid3")},
                        kNoUnitPresent, nullptr, 0},
        EnumerationCase{"OtherVendorWithUnitProductId", {sim::otherDevice(0x1234, 2, "x")},
                        kNoUnitPresent, nullptr, 0},
        EnumerationCase{"UnitAfterMouseAndKeyboard",
                        {mouse(), keyboard(), unitAt("cube")}, kSuccess, "cube", 2},
        EnumerationCase{"Linkwave", {unitAt("wave", 1)}, kSuccess, "wave", 1},
        EnumerationCase{"FirstOfTwoUnitsWins", {unitAt("wave", 1), unitAt("cube", 2)},
                        kSuccess, "wave", 1},
        EnumerationCase{"DetailFailureSkipped",
                        {withFlags(unitAt("a"), true, false, false), unitAt("b")}, kSuccess,
                        "b", 2},
        EnumerationCase{"OpenFailureSkipped",
                        {withFlags(unitAt("a"), false, true, false), unitAt("b")}, kSuccess,
                        "b", 2},
        EnumerationCase{"AttributeFailureSkipped",
                        {withFlags(unitAt("a"), false, false, true), unitAt("b")}, kSuccess,
                        "b", 2},
        EnumerationCase{"EveryCandidateFails",
                        {withFlags(unitAt("a"), true, false, false),
                         withFlags(unitAt("b"), false, true, false),
                         withFlags(unitAt("c"), false, false, true)},
                        kNoUnitPresent, nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(SimTest, NoDeviceListGivesMinusOneAndAClosedRecord) {
    plugUnit();
    sim::setInterfaceListFails(true);
    EXPECT_EQ(openSession(session), kNotAvailable);
    EXPECT_TRUE(isClosedRecord(session));
    EXPECT_TRUE(sim::transcript().empty());
}

TEST_F(SimTest, OpeningAgainClosesTheOpenUnitFirst) {
    Device& unit = plugUnit();
    ASSERT_EQ(openSession(session), kSuccess);
    ASSERT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(unit.opens, 2u);
    EXPECT_EQ(unit.closes, 1u);
}

TEST_F(SimTest, OpeningWhenTheUnitIsGoneLeavesTheRecordClosed) {
    const unsigned id = sim::plugIn(sim::programmingUnit());
    ASSERT_EQ(openSession(session), kSuccess);
    sim::unplug(id);
    EXPECT_EQ(openSession(session), kNoUnitPresent);
    EXPECT_TRUE(isClosedRecord(session));
}

TEST_F(SimTest, ClosingReturnsTheRecordToItsClosedStateAndIsHarmlessTwice) {
    Device& unit = plugUnit();
    ASSERT_EQ(openSession(session), kSuccess);
    closeSession(session);
    EXPECT_TRUE(isClosedRecord(session));
    EXPECT_EQ(unit.closes, 1u);
    closeSession(session);
    EXPECT_TRUE(isClosedRecord(session));
    EXPECT_EQ(unit.closes, 1u);
}

TEST_F(SimTest, FailedIdentificationLeavesTheRecordOpen) {
    plugUnit(1);
    sim::addFault({0, sim::FaultKind::writeFails, 0});
    EXPECT_EQ(openSession(session), kWriteFailed);
    EXPECT_TRUE(isOpen(session));
    EXPECT_FALSE(session.devicePath.empty());
    EXPECT_EQ(session.productId, 1);
    EXPECT_EQ(session.outputReportLength, 60u) << "report lengths are stored before the queries";
}

// The record owns its path and handle: copying is not possible, moving hands both over and
// leaves the source closed, so that each is closed and freed once (the sanitizers would see a
// second free).
static_assert(!std::is_copy_constructible_v<DeviceSession>, "a copy would free the path twice");
static_assert(!std::is_copy_assignable_v<DeviceSession>, "a copy would free the path twice");

TEST_F(SimTest, MovingHandsTheUnitOver) {
    Device& unit = plugUnit();
    ASSERT_EQ(openSession(session), kSuccess);
    DeviceSession moved(std::move(session));
    EXPECT_TRUE(isClosedRecord(session));
    EXPECT_EQ(moved.devicePath, unit.path);
    EXPECT_EQ(escTypeCode(moved), 0x110FA0FAu);
    closeSession(moved);
    closeSession(session);
    EXPECT_EQ(unit.closes, 1u);
}

// The HID driver hands every input report to every handle of the device, so a report left from
// before (a reply meant for another program) would be read as the answer to the first query.
// Once opened, the unit's queue is emptied: the status query gets its own reply.
TEST_F(SimTest, OpeningDropsInputHeldFromBefore) {
    Device& unit = plugUnit();
    unit.heldInput.push_back(reportBytes({0x02, 0x00, 0x00, 0x01}));  // "wrong mode"
    ASSERT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(session.unitMode, 0) << "the stale report was taken as the status reply";
    EXPECT_EQ(escTypeCode(session), 0x110FA0FAu);
    EXPECT_GE(sim::inputFlushes(), 1u);
}

// The report lengths must fit the 60-byte buffers and carry a whole block and reply.
struct LengthCase {
    const char* name;
    std::uint16_t output;
    std::uint16_t input;
    ResultCode result;
};

class ReportLengths : public SimTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(ReportLengths, UsableOnlyWhenTheyFitTheBuffers) {
    Device& unit = plugUnit();
    unit.outputReportLength = GetParam().output;
    unit.inputReportLength = GetParam().input;
    EXPECT_EQ(openSession(session), GetParam().result);
    if (GetParam().result == kSuccess) {
        EXPECT_EQ(session.outputReportLength, GetParam().output);
        EXPECT_EQ(session.inputReportLength, GetParam().input);
    } else {
        EXPECT_TRUE(sim::transcript().empty()) << "nothing is sent to an unusable unit";
        EXPECT_EQ(session.outputReportLength, 0u);
        EXPECT_EQ(session.inputReportLength, 0u);
        EXPECT_TRUE(isOpen(session)) << "the caller decides to close";
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ReportLengths,
    ::testing::Values(LengthCase{"Full", 60, 60, kSuccess},
                      LengthCase{"Shortest", 52, 44, kSuccess},
                      LengthCase{"OutputTooLong", 65, 60, kNotAvailable},
                      LengthCase{"InputTooLong", 60, 64, kNotAvailable},
                      LengthCase{"OutputCannotCarryABlock", 51, 60, kNotAvailable},
                      LengthCase{"InputCannotCarryTheLoaderBlock", 60, 43, kNotAvailable},
                      LengthCase{"Zero", 0, 0, kNotAvailable}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(SimTest, UnreadableCapabilitiesGiveMinusOne) {
    plugUnit().capabilitiesFail = true;
    EXPECT_EQ(openSession(session), kNotAvailable);
    EXPECT_TRUE(sim::transcript().empty());
}

TEST_F(SimTest, ReportLengthsNeedHandleAndPath) {
    plugUnit();
    ASSERT_EQ(openSession(session), kSuccess);
    const std::string path = session.devicePath;
    session.devicePath.clear();
    EXPECT_EQ(readReportLengths(session), kNotAvailable);
    session.devicePath = path;

    DeviceSession closed({backend, clock});
    EXPECT_EQ(readReportLengths(closed), kNotAvailable);
}

// The channel: one full-length write, an optional pause, one full-length read.
class Exchange : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        plugUnit().outputReportLength = 52;
        ASSERT_EQ(openSession(session), kSuccess);
        baseExchanges = sim::exchangeCount();
        baseLines = sim::transcript().size();
    }
    unsigned baseExchanges = 0;
    std::size_t baseLines = 0;
    Report request = makeRequest(0x08, 0);
    Report reply{};
};

TEST_F(Exchange, WritesTheWholeOutputReportAndReadsTheWholeInputReport) {
    ASSERT_EQ(exchange(session, request, reply, 0), kSuccess);
    const auto& lines = sim::transcript();
    ASSERT_EQ(lines.size(), baseLines + 2);
    EXPECT_EQ(lines[baseLines].bytes, reportBytes({0x01, 0x08, 0x00}, 52));
    EXPECT_EQ(lines[baseLines + 1].bytes.size(), 60u);
    EXPECT_EQ(reply[0], kInputReportId);
}

TEST_F(Exchange, PausesBetweenWriteAndRead) {
    ASSERT_EQ(exchange(session, request, reply, 1000), kSuccess);
    const auto& lines = sim::transcript();
    EXPECT_EQ(lines[baseLines + 1].ms - lines[baseLines].ms, 1000u);
}

TEST_F(Exchange, ClosedRecordSendsNothing) {
    DeviceSession closed({backend, clock});
    EXPECT_EQ(exchange(closed, request, reply, 1000), kNotAvailable);
    EXPECT_EQ(sim::transcript().size(), baseLines);
    EXPECT_EQ(sim::now(), sim::transcript().back().ms) << "no pause either";
}

struct ChannelFaultCase {
    const char* name;
    sim::FaultKind kind;
    ResultCode result;
    std::uint32_t lastError;
    std::size_t linesWritten;
};

class ChannelFaults : public Exchange, public ::testing::WithParamInterface<ChannelFaultCase> {};

TEST_P(ChannelFaults, EndTheExchangeWithTheirResult) {
    const ChannelFaultCase& c = GetParam();
    sim::addFault({baseExchanges, c.kind, 0});
    session.lastError = sim::kErrorTimeout;  // left by an earlier call
    const std::uint64_t before = sim::now();
    EXPECT_EQ(exchange(session, request, reply, 0), c.result);
    EXPECT_EQ(session.lastError, c.lastError);
    EXPECT_EQ(sim::transcript().size(), baseLines + c.linesWritten);
    if (c.kind == sim::FaultKind::noAnswer) {
        EXPECT_EQ(sim::now() - before, kReportTimeoutMs) << "the wait is bounded";
    }
    EXPECT_TRUE(isOpen(session)) << "the channel never closes the record";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ChannelFaults,
    ::testing::Values(
        ChannelFaultCase{"WriteFails", sim::FaultKind::writeFails, kWriteFailed, 31, 0},
        ChannelFaultCase{"ReadFails", sim::FaultKind::readFails, kReadFailed, 31, 1},
        ChannelFaultCase{"UnitRemoved", sim::FaultKind::removed, kWriteFailed, 1167, 0},
        ChannelFaultCase{"NoAnswerTimesOut", sim::FaultKind::noAnswer, kReadFailed, 1460, 1},
        // A completed exchange leaves no error behind for a later report to show.
        ChannelFaultCase{"NoneLeavesNoError", sim::FaultKind::none, kSuccess, 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// What reaches the queue around a reply, and how the exchange and the one after it take it,
// outside the update and during it. The protocol carries no request number, so a report with the
// input report's ID before the reply is taken as the reply; during the update the unit's own reply,
// found queued before the next request, then ends the update there.
struct ArrivalCase {
    const char* name;
    sim::Fault fault;  // on the first exchange
    ResultCode firstResult;
    std::uint32_t firstError;
    std::uint8_t firstReplyStatus;  // byte 1 of what the first exchange took as its reply
    bool nextFindsAReport;          // the next exchange finds a report queued before its request
};

class Arrivals : public Exchange,
                 public ::testing::WithParamInterface<std::tuple<ArrivalCase, bool>> {};

TEST_P(Arrivals, DecideTheReplyAndTheNextRequest) {
    const ArrivalCase& c = std::get<0>(GetParam());
    session.updating = std::get<1>(GetParam());
    sim::Fault fault = c.fault;
    fault.exchange = baseExchanges;
    sim::addFault(fault);

    EXPECT_EQ(exchange(session, request, reply, 0), c.firstResult);
    EXPECT_EQ(session.lastError, c.firstError);
    EXPECT_EQ(reply[1], c.firstReplyStatus);

    const std::size_t linesBefore = sim::transcript().size();
    const ResultCode next = exchange(session, request, reply, 0);
    if (c.nextFindsAReport && session.updating) {
        EXPECT_EQ(next, kWriteFailed);
        EXPECT_EQ(session.lastError, kErrorReportWaiting);
        EXPECT_EQ(sim::transcript().size(), linesBefore) << "nothing is sent";
    } else {
        // Outside the update the report is dropped, and the reply is the next request's own.
        EXPECT_EQ(next, kSuccess);
        EXPECT_EQ(reply[1], 0x00);
        EXPECT_EQ(sim::transcript().size(), linesBefore + 2);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Arrivals,
    ::testing::Combine(
        ::testing::Values(
            ArrivalCase{"NothingBeforeTheReply", {0, sim::FaultKind::none}, kSuccess, 0, 0x00,
                        false},
            // The stray is taken for the refusal's place, which waits in the queue.
            ArrivalCase{"StrayBeforeARefusedReply",
                        {0, sim::FaultKind::refuse, 7, {}, reportBytes({0x02, 0x00})},
                        kSuccess, 0, 0x00, true},
            ArrivalCase{"AnotherReportId",
                        {0, sim::FaultKind::scripted, 0, reportBytes({0x03, 0x00})},
                        kReadFailed, kErrorNotTheInputReport, 0x00, false},
            ArrivalCase{"StrayAfterTheReply",
                        {0, sim::FaultKind::refuse, 7, {}, {}, true},
                        kSuccess, 0, 0xFF, true}),
        ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "DuringTheUpdate" : "OutsideTheUpdate");
    });
// clang-format on

// The judging rules.
struct JudgeCase {
    const char* name;
    std::vector<std::uint8_t> reply;  // bytes 0.. of the reply
    ResultCode code32;
    ResultCode code16;
};

class Judging : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(Judging, RefusalRule) {
    Report reply{};
    std::copy(GetParam().reply.begin(), GetParam().reply.end(), reply.begin());
    EXPECT_EQ(refusalCode32(reply), GetParam().code32);
    EXPECT_EQ(refusalCode16(reply), GetParam().code16);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Judging,
    ::testing::Values(
        JudgeCase{"CarriedOut", {2, 0x00, 0, 0, 1, 2, 3, 4}, 0, 0},
        JudgeCase{"AnyStatusButFFIsCarriedOut", {2, 0xFE, 0, 0, 1, 2, 3, 4}, 0, 0},
        JudgeCase{"RefusedWithCodeZero", {2, 0xFF, 0, 0, 0, 0, 0, 0}, 0, 0},
        JudgeCase{"RefusedLittleEndian", {2, 0xFF, 0, 0, 1, 2, 3, 4}, 0x04030201, 0x0201},
        JudgeCase{"HighHalfOnly", {2, 0xFF, 0, 0, 0, 0, 7, 0}, 0x00070000, 0},
        JudgeCase{"AllOnesIsMinusOne", {2, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, -1, 0xFFFF}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(Confirmation, EchoMustEqualTheRequestedState) {
    Report reply{};
    reply[3] = 1;
    EXPECT_EQ(confirmState(reply, 1), kSuccess);
    EXPECT_EQ(confirmState(reply, 0), kStateNotConfirmed);
    reply[1] = 0xFF;  // the status plays no part
    EXPECT_EQ(confirmState(reply, 1), kSuccess);
}

}  // namespace
