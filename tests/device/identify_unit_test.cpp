// The identification queries: which are sent, with which bytes, and where the answers land.
#include "sim/sim_fixture.h"

namespace {

using sim::FaultKind;

struct IdentifyCase {
    const char* name;
    std::uint8_t mode;
    std::uint16_t escStatus;
    std::vector<sim::Fault> faults;
    ResultCode result;
    std::vector<std::uint8_t> commands;  // in the order sent
};

class Identification : public SimTest, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(Identification, SendsTheQueriesOfItsPath) {
    const IdentifyCase& c = GetParam();
    sim::Device& unit = plugUnit();
    unit.unit.mode = c.mode;
    unit.unit.esc.status = c.escStatus;
    for (const sim::Fault& fault : c.faults) sim::addFault(fault);

    EXPECT_EQ(openSession(session), c.result);
    EXPECT_EQ(commandsSent(), c.commands);
    EXPECT_TRUE(isOpen(session));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Identification,
    ::testing::Values(
        IdentifyCase{"UpdatableController", 0, 3, {}, kSuccess, {0x08, 0x1D, 0x22}},
        IdentifyCase{"NoControllerStatus0", 0, 0, {}, kSuccess, {0x08}},
        IdentifyCase{"NoControllerStatus1", 0, 1, {}, kSuccess, {0x08}},
        IdentifyCase{"NoControllerStatus2", 0, 2, {}, kSuccess, {0x08}},
        IdentifyCase{"NoControllerStatus4", 0, 4, {}, kSuccess, {0x08}},
        IdentifyCase{"OtherMode", 1, 3, {}, kSuccess, {0x08, 0x0A}},
        IdentifyCase{"StatusWriteFails", 0, 3, {{0, FaultKind::writeFails, 0}}, kWriteFailed, {}},
        IdentifyCase{"StatusReadFails", 0, 3, {{0, FaultKind::readFails, 0}}, kReadFailed,
                     {0x08}},
        IdentifyCase{"MemoryReadWriteFails", 1, 3, {{1, FaultKind::writeFails, 0}}, kWriteFailed,
                     {0x08}},
        IdentifyCase{"MemoryReadReadFails", 1, 3, {{1, FaultKind::readFails, 0}}, kReadFailed,
                     {0x08, 0x0A}},
        IdentifyCase{"ControllerInfoWriteFails", 0, 3, {{1, FaultKind::writeFails, 0}},
                     kWriteFailed, {0x08}},
        IdentifyCase{"ControllerInfoReadFails", 0, 3, {{1, FaultKind::readFails, 0}},
                     kReadFailed, {0x08, 0x1D}},
        IdentifyCase{"ControllerInfoNoAnswer", 0, 3, {{1, FaultKind::noAnswer, 0}}, kReadFailed,
                     {0x08, 0x1D}},
        IdentifyCase{"BootloaderInfoWriteFails", 0, 3, {{2, FaultKind::writeFails, 0}},
                     kWriteFailed, {0x08, 0x1D}},
        IdentifyCase{"BootloaderInfoReadFails", 0, 3, {{2, FaultKind::readFails, 0}},
                     kReadFailed, {0x08, 0x1D, 0x22}},
        IdentifyCase{"ControllerInfoRefused", 0, 3, {{1, FaultKind::refuse, 0x1234}}, 0x1234,
                     {0x08, 0x1D}},
        IdentifyCase{"ControllerInfoRefusedWithZero", 0, 3, {{1, FaultKind::refuse, 0xABCD0000}},
                     kSuccess, {0x08, 0x1D, 0x22}},
        IdentifyCase{"BootloaderInfoRefused", 0, 3, {{2, FaultKind::refuse, 0xBEEF}}, 0xBEEF,
                     {0x08, 0x1D, 0x22}},
        IdentifyCase{"BootloaderInfoRefusedWithZero", 0, 3, {{2, FaultKind::refuse, 0}}, kSuccess,
                     {0x08, 0x1D, 0x22}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(SimTest, QueriesCarryTheirExactRequestBytes) {
    plugUnit();
    ASSERT_EQ(openSession(session), kSuccess);
    ASSERT_EQ(requests().size(), 3u);
    EXPECT_EQ(requests()[0], reportBytes({0x01, 0x08, 0x00}));
    EXPECT_EQ(requests()[1], reportBytes({0x01, 0x1D, 0x08, 0x00, 0x20, 0x00, 0x00, 0x00, 0xE0,
                                          0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(requests()[2], reportBytes({0x01, 0x22, 0x00}));
}

TEST_F(SimTest, MemoryReadCarriesTheUnitInfoAddress) {
    plugUnit().unit.mode = 2;
    ASSERT_EQ(openSession(session), kSuccess);
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_EQ(requests()[1], reportBytes({0x01, 0x0A, 0x0C, 0x00, 0x00, 0xFC, 0x01, 0x08}));
}

TEST_F(SimTest, ServingModeFillsTheUnitAndControllerFields) {
    sim::Unit& unit = plugUnit().unit;
    unit.firmwareVersion = 0x01020304;
    unit.auxValue = 0xCAFEF00D;
    unit.esc.auxValue = 0x4455;
    unit.esc.firmwareVersion = 0x0A05;
    unit.esc.typeCode = 0x0A0640FA;
    unit.esc.bootloaderVersion = 0x01000203;

    ASSERT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(session.unitMode, 0);
    EXPECT_EQ(session.escStatus, 3);
    EXPECT_EQ(session.escAuxValue, 0x4455);
    EXPECT_EQ(session.unitFirmwareVersion, 0x01020304u);
    EXPECT_EQ(session.unitAuxValue, 0xCAFEF00Du);
    EXPECT_EQ(escFirmwareVersion(session), 0x0A05);
    EXPECT_EQ(escTypeCode(session), 0x0A0640FAu);
    EXPECT_EQ(bootloaderVersion(session), 0x01000203u);
    EXPECT_EQ(session.unitLoaderInfo.loaderInfo1, 0) << "only filled outside the serving mode";
}

TEST_F(SimTest, OtherModeFillsLoaderInfoAndLeavesTheControllerZero) {
    sim::Unit& unit = plugUnit().unit;
    unit.mode = 7;
    unit.firmwareVersion = 0x00030100;
    unit.auxValue = 0x99;

    ASSERT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(session.unitMode, 7);
    const UnitLoaderInfo& info = session.unitLoaderInfo;
    EXPECT_EQ(info.loaderInfo1, 0x11);
    EXPECT_EQ(info.loaderInfo2, 0x3322);
    EXPECT_EQ(info.loaderInfo3, 0x77665544u);
    EXPECT_EQ(info.loaderInfo4, 0xBBAA9988u);
    EXPECT_EQ(info.loaderInfo5, 0xCC);
    EXPECT_EQ(session.unitFirmwareVersion, 0x00030100u);
    EXPECT_EQ(session.unitAuxValue, 0x99u);
    EXPECT_EQ(session.escStatus, 0);
    EXPECT_EQ(escFirmwareVersion(session), 0);
    EXPECT_EQ(escTypeCode(session), 0u);
}

TEST_F(SimTest, StatusReplyIsReadEvenWhenMarkedRefused) {
    plugUnit().unit.esc.status = 1;
    sim::addFault({0, FaultKind::refuse, 0x5555});
    ASSERT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(session.unitMode, 0);
    EXPECT_EQ(session.escStatus, 1);
}

TEST_F(SimTest, ControllerInfoRefusedWithZeroLeavesItsBlockZero) {
    plugUnit().unit.esc.firmwareVersion = 0x0100;
    sim::addFault({1, FaultKind::refuse, 0xABCD0000});  // bytes 4..5 zero, 6..7 not
    ASSERT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(escFirmwareVersion(session), 0);
    EXPECT_EQ(escTypeCode(session), 0x110FA0FAu);
}

TEST_F(SimTest, ControllerInfoRefusalKeepsTheStatusFieldsAndBothBlocksZero) {
    plugUnit();
    sim::addFault({1, FaultKind::refuse, 0x0042});
    ASSERT_EQ(openSession(session), 0x42);
    EXPECT_EQ(session.escStatus, 3);
    EXPECT_NE(session.unitFirmwareVersion, 0u);
    EXPECT_EQ(escFirmwareVersion(session), 0);
    EXPECT_EQ(escTypeCode(session), 0u);
}

TEST_F(SimTest, BootloaderInfoRefusedWithZeroGivesTypeCodeZero) {
    plugUnit();
    sim::addFault({2, FaultKind::refuse, 0});
    ASSERT_EQ(openSession(session), kSuccess);
    EXPECT_EQ(escTypeCode(session), 0u);
    EXPECT_EQ(bootloaderVersion(session), 0u);
    EXPECT_EQ(escFirmwareVersion(session), 0x0009) << "the controller block was taken";
}

TEST_F(SimTest, ARefusalCodeIsZeroExtended) {
    plugUnit();
    sim::addFault({2, FaultKind::refuse, 0xFFFF});
    EXPECT_EQ(openSession(session), 0xFFFF);
}

}  // namespace
