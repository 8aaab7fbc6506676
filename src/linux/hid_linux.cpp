// The HID operations on Linux: sysfs for the enumeration, the IDs and the report descriptor, the
// hidraw node for the reports, every wait bounded by poll().
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "linux/hidraw_settings.h"
#include "linux/report_descriptor.h"

namespace hid::hidraw {
namespace {

// An open node, closed when it goes (which also gives up its lock).
struct NodeDevice final : Device {
    explicit NodeDevice(int descriptor) : fd(descriptor) {}
    ~NodeDevice() override {
        if (fd >= 0) close(fd);
    }
    int fd;  // the node, non-blocking, locked (or a descriptor adopted as it is)
};

NodeDevice& nodeOf(Device& device) { return static_cast<NodeDevice&>(device); }

struct Roots {
    const std::string& sysfs;
    const std::string& dev;
};

// Keeps code in *error; false, for the caller to return.
bool fail(int code, Error* error) {
    if (error != nullptr) *error = static_cast<Error>(code);
    return false;
}

// The sysfs folder of a hidraw node ("hidraw3").
std::string classFolder(const Roots& roots, const std::string& node) {
    return roots.sysfs + "/class/hidraw/" + node;
}

// The number of a "hidrawN" entry; false for any other name.
bool nodeNumber(const char* name, unsigned long* number) {
    constexpr char kPrefix[] = "hidraw";
    constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
    if (std::strncmp(name, kPrefix, kPrefixLength) != 0) return false;
    const char* digits = name + kPrefixLength;
    const std::size_t count = std::strlen(digits);
    if (count == 0 || count > 9) return false;
    if (std::strspn(digits, "0123456789") != count) return false;
    *number = std::strtoul(digits, nullptr, 10);
    return true;
}

// The node's name ("hidraw3") once symbolic links are followed, so that a link made by a udev
// rule leads to the same sysfs entry.
std::string nodeName(const std::string& path) {
    std::string resolved = path;
    if (char* real = realpath(path.c_str(), nullptr)) {
        resolved = real;
        std::free(real);
    }
    const std::size_t slash = resolved.rfind('/');
    return slash == std::string::npos ? resolved : resolved.substr(slash + 1);
}

// A whole sysfs attribute of at most limit bytes; false when it cannot be read or is longer.
bool readAttribute(const std::string& path, std::size_t limit, std::string* contents) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    contents->clear();
    char chunk[1024];
    bool whole = false;
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            whole = got == 0;
            break;
        }
        contents->append(chunk, static_cast<std::size_t>(got));
        if (contents->size() > limit) break;
    }
    close(fd);
    return whole;
}

// A number of one to eight hexadecimal digits (base 16) or one to nine decimal digits (base 10)
// at *cursor, followed by end.
bool numberField(const char** cursor, char end, std::uint32_t base, std::uint32_t* value) {
    const int maxDigits = base == 16 ? 8 : 9;
    const char* p = *cursor;
    std::uint32_t result = 0;
    int digits = 0;
    for (; *p != end; ++p, ++digits) {
        std::uint32_t digit = base;
        if (*p >= '0' && *p <= '9') {
            digit = static_cast<std::uint32_t>(*p - '0');
        } else if (*p >= 'a' && *p <= 'f') {
            digit = static_cast<std::uint32_t>(*p - 'a' + 10);
        } else if (*p >= 'A' && *p <= 'F') {
            digit = static_cast<std::uint32_t>(*p - 'A' + 10);
        }
        if (digit >= base || digits == maxDigits) return false;
        result = result * base + digit;
    }
    if (digits == 0) return false;
    *value = result;
    *cursor = p + 1;
    return true;
}

// "HID_ID=0003:00005EA7:00000002": bus, vendor and product, in hexadecimal.
bool parseHidId(const std::string& uevent, std::uint16_t* vendorId, std::uint16_t* productId) {
    constexpr char kKey[] = "HID_ID=";
    std::size_t line = 0;
    while (line < uevent.size()) {
        std::size_t lineEnd = uevent.find('\n', line);
        if (lineEnd == std::string::npos) lineEnd = uevent.size();
        if (uevent.compare(line, sizeof kKey - 1, kKey) == 0) {
            const std::string value =
                uevent.substr(line + sizeof kKey - 1, lineEnd - line - (sizeof kKey - 1));
            const char* cursor = value.c_str();
            std::uint32_t bus = 0;
            std::uint32_t vendor = 0;
            std::uint32_t product = 0;
            if (!numberField(&cursor, ':', 16, &bus) || !numberField(&cursor, ':', 16, &vendor) ||
                !numberField(&cursor, '\0', 16, &product) || vendor > 0xFFFF || product > 0xFFFF) {
                return false;
            }
            *vendorId = static_cast<std::uint16_t>(vendor);
            *productId = static_cast<std::uint16_t>(product);
            return true;
        }
        line = lineEnd + 1;
    }
    return false;
}

// "241:3\n": the node's major and minor device number, in decimal.
bool parseDeviceNumber(std::string text, dev_t* number) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const char* cursor = text.c_str();
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    if (!numberField(&cursor, ':', 10, &major) || !numberField(&cursor, '\0', 10, &minor)) {
        return false;
    }
    *number = makedev(major, minor);
    return true;
}

// The hidraw nodes that sysfs lists ("hidraw3"), by their number.
bool listNodes(const Roots& roots, std::vector<std::string>* nodes, Error* error) {
    const std::string folder = roots.sysfs + "/class/hidraw";
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        // No hidraw class: no HID device present (or hidraw not loaded), not a failure.
        if (errno == ENOENT) return true;
        return fail(errno, error);
    }
    // The entries are symbolic links into the device tree; only their names count.
    std::vector<std::pair<unsigned long, std::string>> found;
    while (const dirent* entry = readdir(dir)) {
        unsigned long number = 0;
        if (nodeNumber(entry->d_name, &number)) found.emplace_back(number, entry->d_name);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    for (auto& node : found) nodes->push_back(std::move(node.second));
    return true;
}

// A node's HID device as sysfs describes it; false when its IDs cannot be read. Report lengths
// that cannot be read stay 0.
bool describe(const Roots& roots, const std::string& node, DeviceInfo* info) {
    const std::string device = classFolder(roots, node) + "/device";
    std::string uevent;
    if (!readAttribute(device + "/uevent", 4096, &uevent) ||
        !parseHidId(uevent, &info->vendorId, &info->productId)) {
        return false;
    }
    // The kernel keeps report descriptors of at most 4096 bytes.
    std::string descriptor;
    hidraw::ReportLengths lengths;
    if (readAttribute(device + "/report_descriptor", 4096, &descriptor) &&
        hidraw::parseReportLengths(reinterpret_cast<const std::uint8_t*>(descriptor.data()),
                                   descriptor.size(), &lengths)) {
        info->outputReportLength = lengths.output;
        info->inputReportLength = lengths.input;
    }
    info->path = roots.dev + "/" + node;
    return true;
}

// Whether fd is the node whose device number sysfs gives for the hidraw entry that path names:
// a path that leads elsewhere (a stale node, a link to another device) is not used.
bool isDescribedNode(const Roots& roots, int fd, const std::string& path) {
    const std::string node = nodeName(path);
    unsigned long number = 0;
    std::string text;
    dev_t described = 0;
    struct stat opened {};
    return nodeNumber(node.c_str(), &number) &&
           readAttribute(classFolder(roots, node) + "/dev", 64, &text) &&
           parseDeviceNumber(text, &described) && fstat(fd, &opened) == 0 &&
           opened.st_rdev == described;
}

// 0 once fd is the described node and this process holds it alone, else the errno.
int claim(const Roots& roots, int fd, const std::string& path) {
    if (!isDescribedNode(roots, fd, path)) return ENODEV;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

std::uint64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

bool isRetry(int code) { return code == EAGAIN || code == EWOULDBLOCK || code == EINTR; }

// One report moved by move(fd) once poll() finds the node ready for events, all within timeoutMs.
// move gives 0 when the report moved, a retry errno when nothing did, or the errno of its
// failure. A hang-up or an error of the node is left to move, whose call then fails with the
// node's own errno (ENODEV, EIO, EPIPE).
template <typename Move>
bool transfer(const NodeDevice& device, short events, std::uint32_t timeoutMs, Error* error,
              Move move) {
    if (device.fd < 0) return fail(EBADF, error);
    const std::uint64_t deadline = monotonicNs() + static_cast<std::uint64_t>(timeoutMs) * 1000000u;
    for (;;) {
        // Rounded up, so that the wait never ends before the deadline. A signal ends poll()
        // early; the wait then goes on to the same deadline.
        const std::uint64_t now = monotonicNs();
        const std::uint64_t leftMs = now >= deadline ? 0 : (deadline - now + 999999) / 1000000;
        const int waitMs = static_cast<int>(std::min<std::uint64_t>(leftMs, INT_MAX));
        pollfd node{device.fd, events, 0};
        const int ready = poll(&node, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return fail(errno, error);
        }
        if (ready == 0) {
            if (waitMs == 0) return fail(ETIMEDOUT, error);
            continue;
        }
        if ((node.revents & POLLNVAL) != 0) return fail(EBADF, error);
        const int moved = move(device.fd);
        if (moved == 0) return true;
        if (!isRetry(moved)) return fail(moved, error);
        // Ready, yet nothing moved (another reader took the report): wait again, unless the
        // bound has run out.
        if (waitMs == 0) return fail(ETIMEDOUT, error);
    }
}

// The longest report that a 16-bit report length allows.
constexpr std::uint32_t kMaxReportLength = 0xFFFF;

// Reports are read at most this often by flushInput: hidraw keeps 64 per reader, so more means
// a device that never stops sending, and the flush ends rather than chase it.
constexpr int kMaxFlushedReports = 1024;

}  // namespace

HidrawBackend::HidrawBackend(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

bool HidrawBackend::enumerate(std::uint16_t vendorId, std::uint16_t productId,
                              std::vector<DeviceInfo>* devices, Error* error) {
    devices->clear();
    const Roots roots{sysfsRoot_, devRoot_};
    std::vector<std::string> nodes;
    if (!listNodes(roots, &nodes, error)) return false;
    for (const std::string& node : nodes) {
        DeviceInfo info;
        if (!describe(roots, node, &info) || info.vendorId != vendorId) continue;
        if (productId != 0 && info.productId != productId) continue;
        devices->push_back(std::move(info));
    }
    return true;
}

OpenDevice HidrawBackend::open(const std::string& path, Error* error) {
    // Non-blocking, so that every read is a poll() and a read that cannot wait.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(errno, error);
        return nullptr;
    }
    const int refused = claim(Roots{sysfsRoot_, devRoot_}, fd, path);
    if (refused != 0) {
        close(fd);
        fail(refused, error);
        return nullptr;
    }
    return std::make_unique<NodeDevice>(fd);
}

// The node has no share modes; the lock that open took is all there is, and is kept.
OpenDevice HidrawBackend::reopenAlone(OpenDevice device, const std::string& /*path*/,
                                      Error* /*error*/) {
    return device;
}

bool HidrawBackend::isInUse(Error error) const { return error == EWOULDBLOCK || error == EAGAIN; }

// Reads until the node has nothing left (EAGAIN), without waiting. A read takes one whole report
// whatever the buffer's size; what does not fit is dropped. End of file or another error ends
// the flush too: the next read reports it.
bool HidrawBackend::flushInput(Device& opened) {
    const NodeDevice& device = nodeOf(opened);
    const int keptErrno = errno;
    std::uint8_t report[64];
    bool dropped = false;
    for (int i = 0; i < kMaxFlushedReports; ++i) {
        const ssize_t got = read(device.fd, report, sizeof report);
        if (got > 0) dropped = true;
        if (got > 0 || (got < 0 && errno == EINTR)) continue;
        break;
    }
    errno = keptErrno;
    return dropped;
}

// hidraw takes one whole report per write, the report ID in byte 0. It sends it at once, so the
// write itself returns within the USB core's own bound of a few seconds.
bool HidrawBackend::writeReport(Device& device, const std::uint8_t* report, std::uint32_t length,
                                std::uint32_t timeoutMs, Error* error) {
    return transfer(nodeOf(device), POLLOUT, timeoutMs, error, [&](int fd) {
        const ssize_t written = write(fd, report, length);
        if (written < 0) return errno;
        return static_cast<std::size_t>(written) == length ? 0 : EIO;
    });
}

// hidraw hands out one whole report per read, the report ID in byte 0, and drops whatever of it
// does not fit the buffer. The read therefore asks for one byte more than length into a buffer of
// its own: a reply of exactly length bytes is copied out; a longer one (EMSGSIZE) or a shorter one
// (EBADMSG) is a failure that leaves report untouched, since its bytes cannot be laid over the
// reply's fields without misreading them; either way the report is taken off the queue and the
// next read gets the next one. End of file (a peer that closed) is ENODEV.
bool HidrawBackend::readReport(Device& device, std::uint8_t* report, std::uint32_t length,
                               std::uint32_t timeoutMs, Error* error) {
    if (length == 0 || length > kMaxReportLength) return fail(EINVAL, error);
    std::vector<std::uint8_t> received(length + 1);
    return transfer(nodeOf(device), POLLIN, timeoutMs, error, [&](int fd) {
        const ssize_t got = read(fd, received.data(), received.size());
        if (got < 0) return errno;
        if (got == 0) return ENODEV;
        if (static_cast<std::size_t>(got) != length) {
            return static_cast<std::size_t>(got) > length ? EMSGSIZE : EBADMSG;
        }
        std::memcpy(report, received.data(), length);
        return 0;
    });
}

// Sleeps to an absolute deadline on the monotonic clock: a signal that wakes the sleep early
// does not shorten it, and a change of the wall clock does not move it.
std::uint64_t MonotonicClock::nowMs() { return monotonicNs() / 1000000u; }

void MonotonicClock::pause(std::uint32_t ms) {
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += static_cast<time_t>(ms / 1000);
    until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

OpenDevice adoptDescriptor(int fd) { return std::make_unique<NodeDevice>(fd); }

}  // namespace hid::hidraw
