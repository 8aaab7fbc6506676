// Finding and describing HID devices through a sysfs tree built in a temporary folder, laid out
// as the kernel lays it out (the class entries and each node's "device" are symbolic links), with
// the device nodes as regular files; and openSession over it.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "descriptors.h"
#include "device/device_session.h"
#include "hidraw_fixture.h"
#include "linux/hidraw_settings.h"

namespace {

namespace fs = std::filesystem;

std::string hidIdLine(std::uint16_t vendorId, std::uint16_t productId) {
    char line[64];
    std::snprintf(line, sizeof line, "HID_ID=0003:%08X:%08X\n", vendorId, productId);
    return line;
}

// The uevent of a USB HID device as the kernel writes it.
std::string uevent(std::uint16_t vendorId, std::uint16_t productId, const char* name) {
    char modalias[64];
    std::snprintf(modalias, sizeof modalias, "MODALIAS=hid:b0003g0001v%08Xp%08X\n", vendorId,
                  productId);
    return "DRIVER=hid-generic\n" + hidIdLine(vendorId, productId) + "HID_NAME=" + name +
           "\nHID_PHYS=usb-0000:00:14.0-2/input0\nHID_UNIQ=\n" + modalias;
}

// One hidrawN: its HID device's uevent and report descriptor, and its node.
struct FakeDevice {
    unsigned number;
    std::string uevent;
    descriptors::Bytes descriptor;
    bool hasDescriptor = true;
    bool hasNode = true;
};

FakeDevice mouse(unsigned number) {
    return {number, uevent(0x046D, 0xC077, "Logitech USB Optical Mouse"), descriptors::kWheelMouse};
}

FakeDevice keyboard(unsigned number) {
    return {number, uevent(0x413C, 0x2113, "Dell KB216 Wired Keyboard"),
            descriptors::kBootKeyboard};
}

FakeDevice unit(unsigned number, std::uint16_t productId = kProductIdLinkCube,
                descriptors::Bytes descriptor = descriptors::kProgrammingUnit) {
    return {number,
            uevent(kUnitVendorId, productId,
                   productId == kProductIdLinkwave ? "BELMARODA LINKWAVE" : "BELMARODA LINK-CUBE"),
            std::move(descriptor)};
}

FakeDevice withoutNode(FakeDevice device) {
    device.hasNode = false;
    return device;
}

std::string nodeName(unsigned number) { return "hidraw" + std::to_string(number); }

std::wstring widePath(const std::string& path) { return std::wstring(path.begin(), path.end()); }

class SysfsTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/hidraw-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(root + "/sys/class/hidraw");
        fs::create_directories(root + "/dev");
        hid::hidraw::setRoots(root + "/sys", root + "/dev");
        descriptorsAtStart = openDescriptorCount();
    }
    void TearDown() override {
        closeSession(session);
        EXPECT_EQ(openDescriptorCount(), descriptorsAtStart) << "a device node was left open";
        hid::hidraw::setRoots("/sys", "/dev");
        fs::remove_all(root);
    }

    void add(const FakeDevice& device) {
        const std::string name = nodeName(device.number);
        const std::string hidDevice = "devices/pci0000:00/0000:00:14.0/usb1/1-" +
                                      std::to_string(device.number) + "/1-" +
                                      std::to_string(device.number) + ":1.0/0003:HID." + name;
        const std::string hidraw = hidDevice + "/hidraw/" + name;
        fs::create_directories(root + "/sys/" + hidraw);
        fs::create_directory_symlink("../..", root + "/sys/" + hidraw + "/device");
        fs::create_directory_symlink("../../" + hidraw, root + "/sys/class/hidraw/" + name);
        writeFile(root + "/sys/" + hidDevice + "/uevent", device.uevent);
        if (device.hasDescriptor) {
            writeFile(root + "/sys/" + hidDevice + "/report_descriptor",
                  std::string(device.descriptor.begin(), device.descriptor.end()));
        }
        if (device.hasNode) writeFile(node(device.number), "");
    }

    std::string node(unsigned number) const { return root + "/dev/" + nodeName(number); }

    static void writeFile(const std::string& path, const std::string& contents) {
        std::ofstream(path, std::ios::binary) << contents;
    }
    static Bytes contents(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), {});
    }

    std::string root;
    int descriptorsAtStart = 0;
    DeviceSession session;
};

// --- Enumeration and the device's description --------------------------------------------------

TEST_F(SysfsTest, ListsTheNodesByTheirNumber) {
    add(mouse(10));
    add(unit(2));
    add(keyboard(0));
    hid::InterfaceList* list = hid::listInterfaces();
    ASSERT_NE(list, nullptr);
    std::vector<std::wstring> paths;
    for (std::uint32_t index = 0;; ++index) {
        hid::InterfaceDetail* detail = nullptr;
        const hid::InterfaceLookup lookup = hid::fetchInterfaceDetail(list, index, &detail);
        if (lookup == hid::InterfaceLookup::end) {
            EXPECT_EQ(detail, nullptr);
            break;
        }
        ASSERT_EQ(lookup, hid::InterfaceLookup::found);
        paths.emplace_back(hid::interfacePath(detail));
        hid::releaseInterfaceDetail(detail);
    }
    hid::releaseInterfaceList(list);
    EXPECT_EQ(paths, (std::vector<std::wstring>{widePath(node(0)), widePath(node(2)),
                                                widePath(node(10))}));
}

// What readAttributes and readCapabilities make of one device's sysfs entries.
struct DescriptionCase {
    const char* name;
    FakeDevice device;
    bool attributesRead;
    std::uint16_t vendorId;
    std::uint16_t productId;
    bool capabilitiesRead;
    std::uint16_t outputLength;
    std::uint16_t inputLength;
};

void PrintTo(const DescriptionCase& c, std::ostream* os) { *os << c.name; }

class Description : public SysfsTest, public testing::WithParamInterface<DescriptionCase> {};

TEST_P(Description, ComesFromUeventAndReportDescriptor) {
    const DescriptionCase& c = GetParam();
    add(c.device);
    const hid::Handle handle = hid::openDevice(widePath(node(c.device.number)).c_str());
    ASSERT_NE(handle, hid::kInvalidHandle) << hid::lastError();

    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    EXPECT_EQ(hid::readAttributes(handle, &vendorId, &productId), c.attributesRead);
    if (c.attributesRead) {
        EXPECT_EQ(vendorId, c.vendorId);
        EXPECT_EQ(productId, c.productId);
    }
    std::uint16_t outputLength = 0;
    std::uint16_t inputLength = 0;
    EXPECT_EQ(hid::readCapabilities(handle, &outputLength, &inputLength), c.capabilitiesRead);
    if (c.capabilitiesRead) {
        EXPECT_EQ(outputLength, c.outputLength);
        EXPECT_EQ(inputLength, c.inputLength);
    }
    hid::closeDevice(handle);
}

FakeDevice withUevent(FakeDevice device, std::string text) {
    device.uevent = std::move(text);
    return device;
}

FakeDevice withoutDescriptor(FakeDevice device) {
    device.hasDescriptor = false;
    return device;
}

INSTANTIATE_TEST_SUITE_P(
    Sysfs, Description,
    testing::Values(
        DescriptionCase{"Mouse", mouse(0), true, 0x046D, 0xC077, true, 0, 5},
        DescriptionCase{"Keyboard", keyboard(0), true, 0x413C, 0x2113, true, 2, 9},
        DescriptionCase{"LinkCube", unit(0), true, 0x5EA7, 2, true, 60, 60},
        DescriptionCase{"LinkwaveInLowerCase",
                        withUevent(unit(0, 1), "HID_ID=0003:00005ea7:00000001\n"), true, 0x5EA7,
                        1, true, 60, 60},
        DescriptionCase{"LastLineWithoutNewline",
                        withUevent(unit(0), "HID_NAME=x\nHID_ID=0003:00005EA7:00000002"), true,
                        0x5EA7, 2, true, 60, 60},
        DescriptionCase{"NoHidId", withUevent(unit(0), "DRIVER=hid-generic\nHID_NAME=x\n"),
                        false, 0, 0, true, 60, 60},
        DescriptionCase{"HidIdWithoutProduct",
                        withUevent(unit(0), "HID_ID=0003:00005EA7\n"), false, 0, 0, true, 60, 60},
        DescriptionCase{"HidIdNotHexadecimal",
                        withUevent(unit(0), "HID_ID=0003:00005EA7:0000000G\n"), false, 0, 0,
                        true, 60, 60},
        // Cut to 16 bits, this vendor would read as the unit's.
        DescriptionCase{"VendorBeyondSixteenBits",
                        withUevent(unit(0), "HID_ID=0003:00015EA7:00000002\n"), false, 0, 0,
                        true, 60, 60},
        DescriptionCase{"HidIdKeyOnlyAsASuffix",
                        withUevent(unit(0), "XHID_ID=0003:00005EA7:00000002\n"), false, 0, 0,
                        true, 60, 60},
        DescriptionCase{"MalformedDescriptor", unit(0, 2, descriptors::kTruncated), true, 0x5EA7,
                        2, false, 0, 0},
        DescriptionCase{"NoDescriptor", withoutDescriptor(unit(0)), true, 0x5EA7, 2, false, 0,
                        0}),
    [](const testing::TestParamInfo<DescriptionCase>& info) { return info.param.name; });

TEST_F(SysfsTest, OpenDeviceFailsWithTheErrnoOfOpen) {
    add(withoutNode(unit(0)));
    EXPECT_EQ(hid::openDevice(widePath(node(0)).c_str()), hid::kInvalidHandle);
    EXPECT_EQ(hid::lastError(), static_cast<std::uint32_t>(ENOENT));
    fs::create_directory(node(0));
    EXPECT_EQ(hid::openDevice(widePath(node(0)).c_str()), hid::kInvalidHandle);
    EXPECT_EQ(hid::lastError(), static_cast<std::uint32_t>(EISDIR));
}

// A link to the node, as a udev rule may make, leads to the node's own sysfs entry.
TEST_F(SysfsTest, ALinkToTheNodeLeadsToItsDevice) {
    add(mouse(0));
    add(unit(1));
    fs::create_symlink(nodeName(1), root + "/dev/terval-link-cube");
    const hid::Handle handle = hid::openDevice(widePath(root + "/dev/terval-link-cube").c_str());
    ASSERT_NE(handle, hid::kInvalidHandle);
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    EXPECT_TRUE(hid::readAttributes(handle, &vendorId, &productId));
    EXPECT_EQ(vendorId, kUnitVendorId);
    EXPECT_EQ(productId, kProductIdLinkCube);
    hid::closeDevice(handle);
}

// --- openSession over sysfs -----------------------------------------------------------------------

enum class ClassFolder { present, missing, notAFolder };

// The nodes are regular files: the unit found takes the status query and, at the end of the
// file, has no reply (ENODEV), so that its opening ends with -3; every other node is left
// unwritten.
struct SessionCase {
    const char* name;
    std::vector<FakeDevice> devices;
    ClassFolder classFolder;
    ResultCode result;
    int openedNode;  // -1: the record stays closed
    std::uint16_t productId;
    bool queried;  // the status query was written to the opened node
    int error;     // the last error afterwards; -1: whatever came before
};

void PrintTo(const SessionCase& c, std::ostream* os) { *os << c.name; }

class SessionOverSysfs : public SysfsTest, public testing::WithParamInterface<SessionCase> {};

TEST_P(SessionOverSysfs, OpensTheFirstProgrammingUnit) {
    const SessionCase& c = GetParam();
    if (c.classFolder != ClassFolder::present) fs::remove(root + "/sys/class/hidraw");
    if (c.classFolder == ClassFolder::notAFolder) writeFile(root + "/sys/class/hidraw", "");
    for (const FakeDevice& device : c.devices) add(device);

    EXPECT_EQ(openSession(session), c.result);
    if (c.error >= 0) {
        EXPECT_EQ(hid::lastError(), static_cast<std::uint32_t>(c.error));
    }
    if (c.openedNode < 0) {
        EXPECT_EQ(session.handle, hid::kInvalidHandle);
        EXPECT_EQ(session.devicePath, nullptr);
    } else {
        ASSERT_NE(session.devicePath, nullptr);
        EXPECT_EQ(std::wstring(session.devicePath), widePath(node(c.openedNode)));
        EXPECT_EQ(session.productId, c.productId);
    }
    const Report query = makeRequest(0x08, 0x00);
    for (const FakeDevice& device : c.devices) {
        if (!device.hasNode) continue;
        const bool opened = static_cast<int>(device.number) == c.openedNode;
        EXPECT_EQ(contents(node(device.number)),
                  opened && c.queried ? Bytes(query.begin(), query.end()) : Bytes{})
            << nodeName(device.number);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sysfs, SessionOverSysfs,
    testing::Values(
        SessionCase{"UnitAfterMouseAndKeyboard", {mouse(0), keyboard(1), unit(2)},
                    ClassFolder::present, kReadFailed, 2, kProductIdLinkCube, true, ENODEV},
        SessionCase{"Linkwave", {unit(0, kProductIdLinkwave)}, ClassFolder::present, kReadFailed,
                    0, kProductIdLinkwave, true, ENODEV},
        SessionCase{"LowestNumberedOfTwoUnits", {unit(10, kProductIdLinkwave), unit(2)},
                    ClassFolder::present, kReadFailed, 2, kProductIdLinkCube, true, ENODEV},
        SessionCase{"UnitWithoutNodeSkipped", {withoutNode(unit(0)), unit(1, kProductIdLinkwave)},
                    ClassFolder::present, kReadFailed, 1, kProductIdLinkwave, true, ENODEV},
        SessionCase{"OnlyOtherDevices", {mouse(0), keyboard(1)}, ClassFolder::present,
                    kNoUnitPresent, -1, 0, false, -1},
        SessionCase{"ProductThree", {unit(0, 3)}, ClassFolder::present, kNoUnitPresent, -1, 0,
                    false, -1},
        SessionCase{"OtherVendorWithTheUnitsProduct",
                    {withUevent(unit(0), uevent(0x1234, 2, "x"))}, ClassFolder::present,
                    kNoUnitPresent, -1, 0, false, -1},
        // 64 data bytes and the ID byte are longer than the report buffers: nothing is sent.
        SessionCase{"ReportsTooLong", {unit(0, 2, descriptors::kVendor64)}, ClassFolder::present,
                    kNotAvailable, 0, kProductIdLinkCube, false, -1},
        // 59 bytes without a report ID count as 60, as on Windows.
        SessionCase{"UnnumberedReportsCountTheIdByte", {unit(0, 2, descriptors::kUnnumbered59)},
                    ClassFolder::present, kReadFailed, 0, kProductIdLinkCube, true, ENODEV},
        SessionCase{"MalformedDescriptor", {unit(0, 2, descriptors::kTruncated)},
                    ClassFolder::present, kNotAvailable, 0, kProductIdLinkCube, false, EINVAL},
        SessionCase{"NoHidrawClass", {}, ClassFolder::missing, kNoUnitPresent, -1, 0, false, -1},
        SessionCase{"HidrawClassNotAFolder", {}, ClassFolder::notAFolder, kNotAvailable, -1, 0,
                    false, ENOTDIR}),
    [](const testing::TestParamInfo<SessionCase>& info) { return info.param.name; });

// The handle that openSession found carries the whole identification: with the node's file
// replaced by a socket served as the unit, identifyUnit reads the unit's lengths from sysfs and
// its answers from the socket.
TEST_F(SysfsTest, TheFoundUnitIsIdentifiedOverItsHandle) {
    add(mouse(0));
    add(unit(1));
    ASSERT_EQ(openSession(session), kReadFailed);
    SimPeer peer;
    ASSERT_TRUE(peer.ready());
    ASSERT_EQ(dup2(peer.sessionEnd, static_cast<int>(session.handle)),
              static_cast<int>(session.handle));
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

    closeSession(session);  // the socket's near end, duplicated, goes with it
    shutdown(peer.sessionEnd, SHUT_WR);
    peer.join();
    std::vector<std::uint8_t> commands;
    for (const Bytes& request : peer.requests) commands.push_back(request[1]);
    EXPECT_EQ(commands, (std::vector<std::uint8_t>{0x08, 0x1D, 0x22}));
}

}  // namespace
