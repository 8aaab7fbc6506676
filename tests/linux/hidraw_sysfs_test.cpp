// Finding and describing HID devices through a sysfs tree built in a temporary folder, opening
// their nodes (the device number that sysfs gives, the lock that keeps a unit to one copy of the
// program), and openSession over it.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>

#include "sysfs_fixture.h"

namespace {

using namespace sysfs;

std::vector<std::string> pathsOf(const std::vector<hid::DeviceInfo>& devices) {
    std::vector<std::string> paths;
    for (const hid::DeviceInfo& device : devices) paths.push_back(device.path);
    return paths;
}

// --- Enumeration
// ----------------------------------------------------------------------------------

TEST_F(SysfsTest, ListsTheDevicesOfAVendorInTheOrderOfTheirNodes) {
    add(mouse(10));
    add(unit(12, kProductIdLinkwave));
    add(unit(2));
    add(keyboard(0));
    add(unit(5, kProductIdLinkwave));
    std::vector<hid::DeviceInfo> devices;
    hid::Error error = 0;
    ASSERT_TRUE(backend.enumerate(kUnitVendorId, 0, &devices, &error));
    EXPECT_EQ(pathsOf(devices), (std::vector<std::string>{node(2), node(5), node(12)}));

    ASSERT_TRUE(backend.enumerate(kUnitVendorId, kProductIdLinkwave, &devices, &error));
    EXPECT_EQ(pathsOf(devices), (std::vector<std::string>{node(5), node(12)}));
    ASSERT_TRUE(backend.enumerate(0x046D, 0, &devices, &error));
    EXPECT_EQ(pathsOf(devices), (std::vector<std::string>{node(10)}));
}

enum class ClassFolder { present, missing, notAFolder };

struct ListingCase {
    const char* name;
    ClassFolder classFolder;
    bool listed;
    int error;
};

void PrintTo(const ListingCase& c, std::ostream* os) { *os << c.name; }

class Listing : public SysfsTest, public testing::WithParamInterface<ListingCase> {};

// Without the hidraw class there is no HID device (or hidraw is not loaded): an empty list, no
// failure.
TEST_P(Listing, FailsOnlyWhenTheClassCannotBeRead) {
    const ListingCase& c = GetParam();
    if (c.classFolder != ClassFolder::present) fs::remove(root + "/sys/class/hidraw");
    if (c.classFolder == ClassFolder::notAFolder) writeFile(root + "/sys/class/hidraw", "");
    std::vector<hid::DeviceInfo> devices(1);
    hid::Error error = 0;
    EXPECT_EQ(backend.enumerate(kUnitVendorId, 0, &devices, &error), c.listed);
    EXPECT_TRUE(devices.empty());
    EXPECT_EQ(error, static_cast<hid::Error>(c.error));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sysfs, Listing,
    testing::Values(ListingCase{"Empty", ClassFolder::present, true, 0},
                    ListingCase{"NoHidrawClass", ClassFolder::missing, true, 0},
                    ListingCase{"HidrawClassNotAFolder", ClassFolder::notAFolder, false, ENOTDIR}),
    [](const testing::TestParamInfo<ListingCase>& info) { return info.param.name; });
// clang-format on

// What the enumeration makes of one device's sysfs entries, asked for vendorId: listed with its
// IDs from the uevent and its report lengths from the report descriptor (0 when they cannot be
// read), or not listed when its IDs cannot be read.
struct DescriptionCase {
    const char* name;
    FakeDevice device;
    std::uint16_t vendorId;
    bool listed;
    std::uint16_t productId;
    std::uint16_t outputLength;
    std::uint16_t inputLength;
};

void PrintTo(const DescriptionCase& c, std::ostream* os) { *os << c.name; }

class Description : public SysfsTest, public testing::WithParamInterface<DescriptionCase> {};

TEST_P(Description, ComesFromUeventAndReportDescriptor) {
    const DescriptionCase& c = GetParam();
    add(c.device);
    std::vector<hid::DeviceInfo> devices;
    hid::Error error = 0;
    ASSERT_TRUE(backend.enumerate(c.vendorId, 0, &devices, &error));
    if (!c.listed) {
        EXPECT_TRUE(devices.empty());
        return;
    }
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].path, node(c.device.number));
    EXPECT_EQ(devices[0].vendorId, c.vendorId);
    EXPECT_EQ(devices[0].productId, c.productId);
    EXPECT_EQ(devices[0].outputReportLength, c.outputLength);
    EXPECT_EQ(devices[0].inputReportLength, c.inputLength);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sysfs, Description,
    testing::Values(
        DescriptionCase{"Mouse", mouse(0), 0x046D, true, 0xC077, 0, 5},
        DescriptionCase{"Keyboard", keyboard(0), 0x413C, true, 0x2113, 2, 9},
        DescriptionCase{"LinkCube", unit(0), kUnitVendorId, true, 2, 60, 60},
        DescriptionCase{"LinkwaveInLowerCase",
                        withUevent(unit(0, 1), "HID_ID=0003:00005ea7:00000001\n"),
                        kUnitVendorId, true, 1, 60, 60},
        DescriptionCase{"LastLineWithoutNewline",
                        withUevent(unit(0), "HID_NAME=x\nHID_ID=0003:00005EA7:00000002"),
                        kUnitVendorId, true, 2, 60, 60},
        DescriptionCase{"NoHidId", withUevent(unit(0), "DRIVER=hid-generic\nHID_NAME=x\n"),
                        kUnitVendorId, false, 0, 0, 0},
        DescriptionCase{"HidIdWithoutProduct", withUevent(unit(0), "HID_ID=0003:00005EA7\n"),
                        kUnitVendorId, false, 0, 0, 0},
        DescriptionCase{"HidIdNotHexadecimal",
                        withUevent(unit(0), "HID_ID=0003:00005EA7:0000000G\n"), kUnitVendorId,
                        false, 0, 0, 0},
        // Cut to 16 bits, this vendor would read as the unit's.
        DescriptionCase{"VendorBeyondSixteenBits",
                        withUevent(unit(0), "HID_ID=0003:00015EA7:00000002\n"), kUnitVendorId,
                        false, 0, 0, 0},
        DescriptionCase{"HidIdKeyOnlyAsASuffix",
                        withUevent(unit(0), "XHID_ID=0003:00005EA7:00000002\n"), kUnitVendorId,
                        false, 0, 0, 0},
        DescriptionCase{"MalformedDescriptor", unit(0, 2, descriptors::kTruncated),
                        kUnitVendorId, true, 2, 0, 0},
        DescriptionCase{"NoDescriptor", withoutDescriptor(unit(0)), kUnitVendorId, true, 2, 0,
                        0}),
    [](const testing::TestParamInfo<DescriptionCase>& info) { return info.param.name; });
// clang-format on

// The enumeration learns everything from sysfs: no node is opened, not even the folder of the
// nodes, however often it is asked. Opening one shows that the watch sees opens.
TEST_F(SysfsTest, EnumerationOpensNoNode) {
    add(keyboard(0));
    add(unit(1));
    add(unit(2, kProductIdLinkwave));
    OpenWatch watch(root + "/dev");
    ASSERT_TRUE(watch.watching()) << std::strerror(errno);
    std::vector<hid::DeviceInfo> devices;
    hid::Error error = 0;
    for (int poll = 0; poll < 4; ++poll) {
        ASSERT_TRUE(backend.enumerate(kUnitVendorId, 0, &devices, &error));
        ASSERT_EQ(devices.size(), 2u);
    }
    EXPECT_EQ(watch.opened(), std::vector<std::string>{});

    const hid::OpenDevice device(backend.open(node(2), &error));
    ASSERT_NE(device, nullptr) << error;
    EXPECT_EQ(watch.opened(), std::vector<std::string>{nodeName(2)});
}

// --- Opening a node
// -------------------------------------------------------------------------------

TEST_F(SysfsTest, OpenDeviceFailsWithTheErrnoOfOpen) {
    add(withoutNode(unit(0)));
    hid::Error error = 0;
    EXPECT_EQ(backend.open(node(0), &error), nullptr);
    EXPECT_EQ(error, static_cast<hid::Error>(ENOENT));
    fs::create_directory(node(0));
    EXPECT_EQ(backend.open(node(0), &error), nullptr);
    EXPECT_EQ(error, static_cast<hid::Error>(EISDIR));
}

// Only the node whose device number sysfs gives for it (hidrawN/dev) is used: a node that is
// another device fails with ENODEV and is closed again.
struct NumberCase {
    const char* name;
    FakeDevice device;
    int error;  // 0: opened
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class DeviceNumber : public SysfsTest, public testing::WithParamInterface<NumberCase> {};

TEST_P(DeviceNumber, MustBeTheOneSysfsGives) {
    const NumberCase& c = GetParam();
    if (c.device.node == Node::characterDevice && !canMakeCharacterDevices()) {
        GTEST_SKIP() << "this machine makes no character devices";
    }
    add(c.device);
    hid::Error error = 0;
    const hid::OpenDevice device(backend.open(node(c.device.number), &error));
    EXPECT_EQ(device != nullptr, c.error == 0);
    EXPECT_EQ(error, static_cast<hid::Error>(c.error));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sysfs, DeviceNumber,
    testing::Values(
        NumberCase{"CharacterDevice", asCharacterDevice(unit(0), kNullMinor), 0},
        NumberCase{"RegularFileAsZeroZero", unit(0), 0},
        NumberCase{"CharacterDeviceOfAnotherMinor",
                   withDevAttribute(asCharacterDevice(unit(0), kZeroMinor), "1:3\n"), ENODEV},
        NumberCase{"CharacterDeviceOfAnotherMajor",
                   withDevAttribute(asCharacterDevice(unit(0), kNullMinor), "241:3\n"), ENODEV},
        NumberCase{"RegularFileWhereADeviceIsGiven", withDevAttribute(unit(0), "241:0\n"),
                   ENODEV},
        NumberCase{"NoDevAttribute", withDevAttribute(unit(0), ""), ENODEV},
        NumberCase{"DevAttributeNotANumber", withDevAttribute(unit(0), "0-0\n"), ENODEV},
        NumberCase{"DevAttributeSigned", withDevAttribute(unit(0), "-0:0\n"), ENODEV}),
    [](const testing::TestParamInfo<NumberCase>& info) { return info.param.name; });
// clang-format on

// A link to the node, as a udev rule may make, is checked against the sysfs entry of the node it
// leads to, whatever the link is called.
TEST_F(SysfsTest, ALinkToTheNodeIsCheckedAgainstItsTarget) {
    if (!canMakeCharacterDevices()) GTEST_SKIP() << "this machine makes no character devices";
    add(asCharacterDevice(mouse(0), kNullMinor));
    add(asCharacterDevice(unit(1), kZeroMinor));
    fs::create_directory(root + "/dev/by-name");
    fs::create_symlink("../" + nodeName(1), root + "/dev/by-name/terval-link-cube");
    fs::create_symlink("../" + nodeName(1), root + "/dev/by-name/" + nodeName(0));
    for (const char* link : {"terval-link-cube", "hidraw0"}) {
        hid::Error error = 0;
        const hid::OpenDevice device(backend.open(root + "/dev/by-name/" + link, &error));
        EXPECT_NE(device, nullptr) << link << ": " << std::strerror(static_cast<int>(error));
    }
}

// An open node is locked: a second opening (another copy of the program) fails with EWOULDBLOCK
// until the first is closed.
TEST_F(SysfsTest, AnOpenNodeIsHeldUntilItIsClosed) {
    add(unit(0));
    hid::Error error = 0;
    hid::OpenDevice first(backend.open(node(0), &error));
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(backend.open(node(0), &error), nullptr);
    EXPECT_EQ(error, static_cast<hid::Error>(EWOULDBLOCK));

    first.reset();
    const hid::OpenDevice second(backend.open(node(0), &error));
    EXPECT_NE(second, nullptr) << error;
}

// --- openSession over sysfs
// -----------------------------------------------------------------------

// The nodes are regular files: the unit opened takes the status query and, at the end of the
// file, has no reply (ENODEV), so that its opening ends with -3; every other node is left
// unwritten, and no node is opened but those of units, in their order.
struct SessionCase {
    const char* name;
    std::vector<FakeDevice> devices;
    ResultCode result;
    int openedNode;  // -1: the record stays closed
    std::uint16_t productId;
    bool queried;  // the status query was written to the opened node
    hid::Error lastError;
    std::vector<unsigned> tried;  // the nodes that openSession opened or tried to, in order
    int failedNode;               // the unit named as not opened; -1: none
    int failure;                  // its error
};

void PrintTo(const SessionCase& c, std::ostream* os) { *os << c.name; }

class SessionOverSysfs : public SysfsTest, public testing::WithParamInterface<SessionCase> {};

TEST_P(SessionOverSysfs, OpensTheFirstProgrammingUnitThatOpens) {
    const SessionCase& c = GetParam();
    for (const FakeDevice& device : c.devices) add(device);
    OpenWatch watch(root + "/dev");
    ASSERT_TRUE(watch.watching());

    UnitOpenFailure failure{"left from before", 1};
    EXPECT_EQ(openSession(session, &failure), c.result);
    EXPECT_EQ(session.lastError, c.lastError);
    if (c.openedNode < 0) {
        EXPECT_FALSE(isOpen(session));
        EXPECT_EQ(session.devicePath, "");
    } else {
        EXPECT_TRUE(isOpen(session));
        EXPECT_EQ(session.devicePath, node(static_cast<unsigned>(c.openedNode)));
        EXPECT_EQ(session.productId, c.productId);
    }
    EXPECT_EQ(failure.path, c.failedNode < 0 ? "" : node(static_cast<unsigned>(c.failedNode)));
    EXPECT_EQ(failure.error, static_cast<hid::Error>(c.failure));

    std::vector<std::string> tried;
    for (unsigned number : c.tried) tried.push_back(nodeName(number));
    EXPECT_EQ(watch.opened(), tried);
    const Report query = makeRequest(0x08, 0x00);
    for (const FakeDevice& device : c.devices) {
        if (device.node == Node::none) continue;
        const bool opened = static_cast<int>(device.number) == c.openedNode;
        EXPECT_EQ(contents(node(device.number)),
                  opened && c.queried ? Bytes(query.begin(), query.end()) : Bytes{})
            << nodeName(device.number);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sysfs, SessionOverSysfs,
    testing::Values(
        SessionCase{"UnitAfterMouseAndKeyboard", {mouse(0), keyboard(1), unit(2)}, kReadFailed,
                    2, kProductIdLinkCube, true, ENODEV, {2}, -1, 0},
        SessionCase{"Linkwave", {unit(0, kProductIdLinkwave)}, kReadFailed, 0,
                    kProductIdLinkwave, true, ENODEV, {0}, -1, 0},
        SessionCase{"LowestNumberedOfTwoUnits", {unit(10, kProductIdLinkwave), unit(2)},
                    kReadFailed, 2, kProductIdLinkCube, true, ENODEV, {2}, -1, 0},
        SessionCase{"UnitWithoutNodeSkipped", {withoutNode(unit(0)), unit(1, kProductIdLinkwave)},
                    kReadFailed, 1, kProductIdLinkwave, true, ENODEV, {1}, 0, ENOENT},
        SessionCase{"OnlyOtherDevices", {mouse(0), keyboard(1)}, kNoUnitPresent, -1, 0, false, 0,
                    {}, -1, 0},
        SessionCase{"ProductThree", {unit(0, 3)}, kNoUnitPresent, -1, 0, false, 0, {}, -1, 0},
        SessionCase{"OtherVendorWithTheUnitsProduct",
                    {withUevent(unit(0), uevent(0x1234, 2, "x"))}, kNoUnitPresent, -1, 0, false,
                    0, {}, -1, 0},
        // Another copy of the program has the first unit: the second is used, nothing is sent
        // to the first, and the first is named.
        SessionCase{"UnitHeldByAnotherCopySkipped", {held(unit(0)), unit(1)}, kReadFailed, 1,
                    kProductIdLinkCube, true, ENODEV, {0, 1}, 0, EWOULDBLOCK},
        SessionCase{"OnlyUnitHeldByAnotherCopy", {mouse(0), held(unit(1))}, kNoUnitPresent, -1,
                    0, false, 0, {1}, 1, EWOULDBLOCK},
        // A node that is not the device sysfs describes is let go at once.
        SessionCase{"NodeOfAnotherDevice", {withDevAttribute(unit(0), "241:0\n"), unit(1)},
                    kReadFailed, 1, kProductIdLinkCube, true, ENODEV, {0, 1}, 0, ENODEV},
        // 64 data bytes and the ID byte are longer than the report buffers: nothing is sent.
        SessionCase{"ReportsTooLong", {unit(0, 2, descriptors::kVendor64)}, kNotAvailable, 0,
                    kProductIdLinkCube, false, 0, {0}, -1, 0},
        // 59 bytes without a report ID count as 60, as on Windows.
        SessionCase{"UnnumberedReportsCountTheIdByte", {unit(0, 2, descriptors::kUnnumbered59)},
                    kReadFailed, 0, kProductIdLinkCube, true, ENODEV, {0}, -1, 0},
        SessionCase{"MalformedDescriptor", {unit(0, 2, descriptors::kTruncated)}, kNotAvailable,
                    0, kProductIdLinkCube, false, 0, {0}, -1, 0}),
    [](const testing::TestParamInfo<SessionCase>& info) { return info.param.name; });
// clang-format on

TEST_F(SysfsTest, AnUnreadableHidrawClassIsNoDeviceList) {
    fs::remove(root + "/sys/class/hidraw");
    writeFile(root + "/sys/class/hidraw", "");
    EXPECT_EQ(openSession(session), kNotAvailable);
    EXPECT_FALSE(isOpen(session));
}

// A unit whose node this user may not open is named with EACCES; a unit after it that opens is
// still used.
TEST_F(SysfsTest, AUnitThisUserMayNotOpenIsNamed) {
    add(mouse(0));
    add(forbidden(unit(1)));
    const auto openAsUser = [this] {
        UnitOpenFailure failure;
        const ResultCode result = openSession(session, &failure);
        std::ostringstream told;
        told << result << ' ' << failure.error << ' ' << failure.path << ' ' << session.devicePath;
        closeSession(session);
        return told.str();
    };
    std::string told;
    ASSERT_TRUE(runUnprivileged(openAsUser, &told));
    EXPECT_EQ(told,
              std::to_string(kNoUnitPresent) + ' ' + std::to_string(EACCES) + ' ' + node(1) + ' ');

    add(unit(2));
    fs::permissions(node(2), fs::perms(0666));  // as the udev rule makes it
    ASSERT_TRUE(runUnprivileged(openAsUser, &told));
    EXPECT_EQ(told, std::to_string(kReadFailed) + ' ' + std::to_string(EACCES) + ' ' + node(1) +
                        ' ' + node(2));
}

// The unit that openSession found is identified over its device with the lengths that sysfs
// gave: with the node's device replaced by a socket served as the unit, identifyUnit reads the
// unit's answers from the socket.
TEST_F(SysfsTest, TheFoundUnitIsIdentifiedWithTheLengthsFromSysfs) {
    add(mouse(0));
    add(unit(1));
    ASSERT_EQ(openSession(session), kReadFailed);
    SimPeer peer;
    ASSERT_TRUE(peer.ready());
    session.handle = peer.adopt();
    peer.serve();

    EXPECT_EQ(identifyUnit(session), kSuccess);
    EXPECT_EQ(session.outputReportLength, 60u);
    EXPECT_EQ(session.inputReportLength, 60u);
    const sim::Unit expected;
    EXPECT_EQ(session.unitMode, expected.mode);
    EXPECT_EQ(session.unitFirmwareVersion, expected.firmwareVersion);
    EXPECT_EQ(escFirmwareVersion(session), expected.esc.firmwareVersion);
    EXPECT_EQ(escTypeCode(session), expected.esc.typeCode);
    EXPECT_EQ(bootloaderVersion(session), expected.esc.bootloaderVersion);

    closeSession(session);
    shutdown(peer.sessionEnd, SHUT_WR);
    peer.join();
    std::vector<std::uint8_t> commands;
    for (const Bytes& request : peer.requests) commands.push_back(request[1]);
    EXPECT_EQ(commands, (std::vector<std::uint8_t>{0x08, 0x1D, 0x22}));
}

}  // namespace
