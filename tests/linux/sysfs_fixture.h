// A sysfs tree in a temporary folder, laid out as the kernel lays it out (the class entries and
// each node's "device" are symbolic links), with the device nodes beside it: regular files, or
// character devices where a test needs device numbers of its own. A regular file's device number
// is 0:0, so that is what the tree gives for it in hidrawN/dev.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "descriptors.h"
#include "device/device_session.h"
#include "hidraw_fixture.h"
#include "linux/hidraw_settings.h"

namespace sysfs {

namespace fs = std::filesystem;

inline std::string hidIdLine(std::uint16_t vendorId, std::uint16_t productId) {
    char line[64];
    std::snprintf(line, sizeof line, "HID_ID=0003:%08X:%08X\n", vendorId, productId);
    return line;
}

// The uevent of a USB HID device as the kernel writes it.
inline std::string uevent(std::uint16_t vendorId, std::uint16_t productId, const char* name) {
    char modalias[64];
    std::snprintf(modalias, sizeof modalias, "MODALIAS=hid:b0003g0001v%08Xp%08X\n", vendorId,
                  productId);
    return "DRIVER=hid-generic\n" + hidIdLine(vendorId, productId) + "HID_NAME=" + name +
           "\nHID_PHYS=usb-0000:00:14.0-2/input0\nHID_UNIQ=\n" + modalias;
}

enum class Node { none, file, characterDevice };

// The memory devices' major number: their nodes open on any machine, as a hidraw node would.
constexpr unsigned kMemoryMajor = 1;
constexpr unsigned kNullMinor = 3;
constexpr unsigned kZeroMinor = 5;

// One hidrawN: its HID device's uevent and report descriptor, and its node.
struct FakeDevice {
    unsigned number;
    std::string uevent;
    descriptors::Bytes descriptor;
    bool hasDescriptor = true;
    Node node = Node::file;
    unsigned minor = 0;  // of a character device (major kMemoryMajor)
    // hidrawN/dev as written; unset: the node's own number; empty: no such attribute.
    std::optional<std::string> devAttribute = std::nullopt;
    bool held = false;       // another copy of the program holds the node's lock
    bool forbidden = false;  // mode 000: none but root may open the node
};

inline FakeDevice mouse(unsigned number) {
    return {number, uevent(0x046D, 0xC077, "Logitech USB Optical Mouse"), descriptors::kWheelMouse};
}

inline FakeDevice keyboard(unsigned number) {
    return {number, uevent(0x413C, 0x2113, "Dell KB216 Wired Keyboard"),
            descriptors::kBootKeyboard};
}

inline FakeDevice unit(unsigned number, std::uint16_t productId = kProductIdLinkCube,
                       descriptors::Bytes descriptor = descriptors::kProgrammingUnit) {
    return {number,
            uevent(kUnitVendorId, productId,
                   productId == kProductIdLinkwave ? "BELMARODA LINKWAVE" : "BELMARODA LINK-CUBE"),
            std::move(descriptor)};
}

inline FakeDevice withUevent(FakeDevice device, std::string text) {
    device.uevent = std::move(text);
    return device;
}

inline FakeDevice withoutDescriptor(FakeDevice device) {
    device.hasDescriptor = false;
    return device;
}

inline FakeDevice withoutNode(FakeDevice device) {
    device.node = Node::none;
    return device;
}

inline FakeDevice asCharacterDevice(FakeDevice device, unsigned minor) {
    device.node = Node::characterDevice;
    device.minor = minor;
    return device;
}

inline FakeDevice withDevAttribute(FakeDevice device, std::string text) {
    device.devAttribute = std::move(text);
    return device;
}

inline FakeDevice held(FakeDevice device) {
    device.held = true;
    return device;
}

inline FakeDevice forbidden(FakeDevice device) {
    device.forbidden = true;
    return device;
}

inline std::string nodeName(unsigned number) { return "hidraw" + std::to_string(number); }

// The names of the files in a folder that are opened while it watches ("." for the folder).
class OpenWatch {
public:
    explicit OpenWatch(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0 && inotify_add_watch(fd_, folder.c_str(), IN_OPEN) < 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~OpenWatch() {
        if (fd_ >= 0) close(fd_);
    }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool watching() const { return fd_ >= 0; }

    // The opens since the last call, in their order.
    std::vector<std::string> opened() {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0) return names;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                names.emplace_back(event->len == 0 ? "." : event->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd_;
};

// What produce returns, computed in a child process by a user whom a node's mode binds: the
// user nobody when the tests run as root (for root, no mode stops an open), else this user.
// False when the child could not be started or become that user, or ended otherwise.
inline bool runUnprivileged(const std::function<std::string()>& produce, std::string* output) {
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) return false;
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return false;
    }
    if (child == 0) {
        close(channel[0]);
        constexpr uid_t kNobody = 65534;
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
             setresuid(kNobody, kNobody, kNobody) != 0)) {
            _exit(2);
        }
        const std::string text = produce();
        const bool written =
            write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        _exit(written ? 0 : 3);
    }
    close(channel[1]);
    output->clear();
    char chunk[4096];
    for (ssize_t got; (got = read(channel[0], chunk, sizeof chunk)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        output->append(chunk, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The tree in a temporary folder that every user may read, the seam pointed at it; what a test
// adds is removed with it.
class SysfsTest : public testing::Test {
protected:
    SysfsTest()
        : previousUmask(umask(022)), root(newRoot()), backend(root + "/sys", root + "/dev") {}
    void SetUp() override {
        ASSERT_FALSE(root.empty()) << "no temporary folder";
        descriptorsAtStart = openDescriptorCount();
    }
    void TearDown() override {
        closeSession(session);
        for (const auto& lock : locks) close(lock.second);
        EXPECT_EQ(openDescriptorCount(), descriptorsAtStart) << "a device node was left open";
        if (!root.empty()) fs::remove_all(root);
        umask(previousUmask);
    }

    // A new tree's root, with the folders that every tree has; empty when none can be made.
    static std::string newRoot() {
        char pattern[] = "/tmp/hidraw-sysfs-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return "";
        const std::string made = pattern;
        fs::permissions(made, fs::perms(0755));
        fs::create_directories(made + "/sys/class/hidraw");
        fs::create_directories(made + "/dev");
        return made;
    }

    // Whether this machine lets the tests make character devices (mknod needs CAP_MKNOD).
    bool canMakeCharacterDevices() {
        const std::string probe = root + "/dev/probe";
        const bool made =
            mknod(probe.c_str(), S_IFCHR | 0600, makedev(kMemoryMajor, kNullMinor)) == 0;
        const int fd = made ? open(probe.c_str(), O_RDWR | O_CLOEXEC) : -1;
        if (fd >= 0) close(fd);
        unlink(probe.c_str());
        return fd >= 0;
    }

    // The node and the device's attributes first, the class entry last, as the kernel announces
    // a device once it is there.
    void add(const FakeDevice& device) {
        const std::string name = nodeName(device.number);
        const std::string number = std::to_string(device.number);
        const std::string hidDevice = "devices/pci0000:00/0000:00:14.0/usb1/1-" + number + "/1-" +
                                      number + ":1.0/0003:HID." + name;
        const std::string hidraw = hidDevice + "/hidraw/" + name;
        makeNode(device);
        fs::create_directories(root + "/sys/" + hidraw);
        fs::create_directory_symlink("../..", root + "/sys/" + hidraw + "/device");
        writeFile(root + "/sys/" + hidDevice + "/uevent", device.uevent);
        if (device.hasDescriptor) {
            writeFile(root + "/sys/" + hidDevice + "/report_descriptor",
                      std::string(device.descriptor.begin(), device.descriptor.end()));
        }
        const std::string dev = device.devAttribute.value_or(
            device.node == Node::characterDevice
                ? std::to_string(kMemoryMajor) + ":" + std::to_string(device.minor) + "\n"
                : "0:0\n");
        if (!dev.empty()) writeFile(root + "/sys/" + hidraw + "/dev", dev);
        fs::create_directory_symlink("../../" + hidraw, root + "/sys/class/hidraw/" + name);
    }

    // Another copy of the program gives the node up.
    void release(unsigned number) {
        const auto lock = locks.find(number);
        if (lock == locks.end()) return;
        close(lock->second);
        locks.erase(lock);
    }

    std::string node(unsigned number) const { return root + "/dev/" + nodeName(number); }

    static void writeFile(const std::string& path, const std::string& contents) {
        std::ofstream(path, std::ios::binary) << contents;
    }
    static Bytes contents(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), {});
    }

    mode_t previousUmask;  // before the tree is made
    std::string root;
    hid::hidraw::HidrawBackend backend;  // pointed at the tree
    hid::hidraw::MonotonicClock clock;
    int descriptorsAtStart = 0;
    DeviceSession session{{backend, clock}};

private:
    void makeNode(const FakeDevice& device) {
        const std::string path = node(device.number);
        if (device.node == Node::none) return;
        if (device.node == Node::file) {
            writeFile(path, "");
        } else {
            ASSERT_EQ(mknod(path.c_str(), S_IFCHR | 0666, makedev(kMemoryMajor, device.minor)), 0)
                << std::strerror(errno);
        }
        if (device.held) {
            const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0) << std::strerror(errno);
            ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << std::strerror(errno);
            locks[device.number] = fd;
        }
        if (device.forbidden) fs::permissions(path, fs::perms::none);
    }

    std::map<unsigned, int> locks;  // the nodes held, by their number
};

}  // namespace sysfs
