// The HID operations on Linux: sysfs for the enumeration, the attributes and the report
// descriptor, the hidraw node for the reports, every wait bounded by poll().
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/hid.h"
#include "linux/hidraw_settings.h"
#include "linux/report_descriptor.h"

namespace hid {

// The hidraw nodes present when the list was made ("hidraw3"), by their number.
struct InterfaceList {
    std::vector<std::string> nodes;
};

struct InterfaceDetail {
    std::wstring path;
};

namespace {

struct Roots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
};

Roots& roots() {
    static Roots current;
    return current;
}

std::atomic<std::uint32_t> reportTimeoutMs{kReportTimeoutMs};

// Per thread, as errno and Windows' last error are.
thread_local std::uint32_t savedError = 0;

// Keeps error as the last error (and in errno); false, for the caller to return.
bool fail(int error) {
    savedError = static_cast<std::uint32_t>(error);
    errno = error;
    return false;
}

// The sysfs folder of the HID device behind each handle that openDevice gave out.
std::mutex foldersMutex;
std::map<int, std::string>& deviceFolders() {
    static std::map<int, std::string> folders;
    return folders;
}

bool folderOf(Handle handle, std::string* folder) {
    if (handle < 0 || handle > INT_MAX) return fail(EBADF);
    const std::lock_guard<std::mutex> hold(foldersMutex);
    const auto found = deviceFolders().find(static_cast<int>(handle));
    if (found == deviceFolders().end()) return fail(EBADF);
    *folder = found->second;
    return true;
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

// Paths travel through the seam as wide strings, converted by the C library's multibyte
// conversion (device nodes are ASCII, the same in every locale).
bool widen(const std::string& text, std::wstring* wide) {
    std::mbstate_t state{};
    const char* source = text.c_str();
    const std::size_t length = std::mbsrtowcs(nullptr, &source, 0, &state);
    if (length == static_cast<std::size_t>(-1)) return false;
    std::vector<wchar_t> buffer(length + 1);
    source = text.c_str();
    state = std::mbstate_t{};
    std::mbsrtowcs(buffer.data(), &source, buffer.size(), &state);
    wide->assign(buffer.data(), length);
    return true;
}

bool narrow(const wchar_t* wide, std::string* text) {
    std::mbstate_t state{};
    const wchar_t* source = wide;
    const std::size_t length = std::wcsrtombs(nullptr, &source, 0, &state);
    if (length == static_cast<std::size_t>(-1)) return false;
    std::vector<char> buffer(length + 1);
    source = wide;
    state = std::mbstate_t{};
    std::wcsrtombs(buffer.data(), &source, buffer.size(), &state);
    text->assign(buffer.data(), length);
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

// A whole sysfs attribute of at most limit bytes; false with errno when it cannot be read or is
// longer.
bool readAttribute(const std::string& path, std::size_t limit, std::string* contents) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    contents->clear();
    char chunk[1024];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            close(fd);
            return fail(error);
        }
        if (got == 0) break;
        contents->append(chunk, static_cast<std::size_t>(got));
        if (contents->size() > limit) {
            close(fd);
            return fail(EFBIG);
        }
    }
    close(fd);
    return true;
}

// A hexadecimal field of one to eight digits at *cursor, followed by end.
bool hexField(const char** cursor, char end, std::uint32_t* value) {
    const char* p = *cursor;
    std::uint32_t result = 0;
    int digits = 0;
    for (; *p != end; ++p, ++digits) {
        int digit = 0;
        if (*p >= '0' && *p <= '9') {
            digit = *p - '0';
        } else if (*p >= 'a' && *p <= 'f') {
            digit = *p - 'a' + 10;
        } else if (*p >= 'A' && *p <= 'F') {
            digit = *p - 'A' + 10;
        } else {
            return false;
        }
        if (digits == 8) return false;
        result = (result << 4) | static_cast<std::uint32_t>(digit);
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
            if (!hexField(&cursor, ':', &bus) || !hexField(&cursor, ':', &vendor) ||
                !hexField(&cursor, '\0', &product) || vendor > 0xFFFF || product > 0xFFFF) {
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

std::uint64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

enum class Step { done, again, failed };

// One report moved by move(fd) once poll() finds the node ready for events, all within the
// report bound. A hang-up or an error of the node is left to move, whose call then fails with
// the node's own errno (ENODEV, EIO, EPIPE). A completed transfer leaves the last error 0.
template <typename Move>
bool transfer(Handle handle, short events, Move move) {
    if (handle < 0 || handle > INT_MAX) return fail(EBADF);
    const int fd = static_cast<int>(handle);
    const std::uint64_t deadline =
        monotonicNs() + static_cast<std::uint64_t>(reportTimeoutMs.load()) * 1000000u;
    for (;;) {
        // Rounded up, so that the wait never ends before the deadline. A signal ends poll()
        // early; the wait then goes on to the same deadline.
        const std::uint64_t now = monotonicNs();
        const std::uint64_t leftMs = now >= deadline ? 0 : (deadline - now + 999999) / 1000000;
        const int waitMs = static_cast<int>(std::min<std::uint64_t>(leftMs, INT_MAX));
        pollfd node{fd, events, 0};
        const int ready = poll(&node, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (ready == 0) {
            if (waitMs == 0) return fail(ETIMEDOUT);
            continue;
        }
        if ((node.revents & POLLNVAL) != 0) return fail(EBADF);
        const Step step = move(fd);
        if (step == Step::done) {
            savedError = 0;
            errno = 0;
            return true;
        }
        if (step == Step::failed) return false;
        // Ready, yet nothing moved (another reader took the report): wait again, unless the
        // bound has run out.
        if (waitMs == 0) return fail(ETIMEDOUT);
    }
}

bool isRetry(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

// The longest report that a 16-bit report length allows.
constexpr std::uint32_t kMaxReportLength = 0xFFFF;

// Reports are read at most this often by flushInput: hidraw keeps 64 per reader, so more means
// a device that never stops sending, and the flush ends rather than chase it.
constexpr int kMaxFlushedReports = 1024;

}  // namespace

InterfaceList* listInterfaces() {
    const std::string folder = roots().sysfs + "/class/hidraw";
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        // No hidraw class: no HID device present (or hidraw not loaded), not a failure.
        if (errno == ENOENT) return new InterfaceList{};
        fail(errno);
        return nullptr;
    }
    // The entries are symbolic links into the device tree; only their names count.
    std::vector<std::pair<unsigned long, std::string>> found;
    while (const dirent* entry = readdir(dir)) {
        unsigned long number = 0;
        if (nodeNumber(entry->d_name, &number)) found.emplace_back(number, entry->d_name);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    auto* list = new InterfaceList;
    for (auto& node : found) list->nodes.push_back(std::move(node.second));
    return list;
}

void releaseInterfaceList(InterfaceList* list) { delete list; }

InterfaceLookup fetchInterfaceDetail(InterfaceList* list, std::uint32_t index,
                                     InterfaceDetail** detail) {
    *detail = nullptr;
    if (index >= list->nodes.size()) return InterfaceLookup::end;
    std::wstring path;
    if (!widen(roots().dev + "/" + list->nodes[index], &path)) {
        fail(EILSEQ);
        return InterfaceLookup::detailFailed;
    }
    *detail = new InterfaceDetail{std::move(path)};
    return InterfaceLookup::found;
}

void releaseInterfaceDetail(InterfaceDetail* detail) { delete detail; }

const wchar_t* interfacePath(const InterfaceDetail* detail) { return detail->path.c_str(); }

Handle openDevice(const wchar_t* path) {
    std::string node;
    if (!narrow(path, &node)) {
        fail(EILSEQ);
        return kInvalidHandle;
    }
    // Non-blocking, so that every read is a poll() and a read that cannot wait.
    const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fail(errno);
        return kInvalidHandle;
    }
    const std::lock_guard<std::mutex> hold(foldersMutex);
    deviceFolders()[fd] = roots().sysfs + "/class/hidraw/" + nodeName(node) + "/device";
    return fd;
}

void closeDevice(Handle handle) {
    if (handle < 0 || handle > INT_MAX) return;
    {
        const std::lock_guard<std::mutex> hold(foldersMutex);
        deviceFolders().erase(static_cast<int>(handle));
    }
    close(static_cast<int>(handle));
}

void flushInput(Handle handle) {
    if (handle < 0 || handle > INT_MAX) return;
    const int fd = static_cast<int>(handle);
    const int keptErrno = errno;
    // A read takes one whole report whatever the buffer's size; what does not fit is dropped.
    std::uint8_t report[64];
    for (int i = 0; i < kMaxFlushedReports; ++i) {
        pollfd node{fd, POLLIN, 0};
        if (poll(&node, 1, 0) != 1 || (node.revents & POLLIN) == 0) break;
        if (read(fd, report, sizeof report) <= 0) break;
    }
    errno = keptErrno;
}

bool readAttributes(Handle handle, std::uint16_t* vendorId, std::uint16_t* productId) {
    std::string folder;
    std::string uevent;
    if (!folderOf(handle, &folder) || !readAttribute(folder + "/uevent", 4096, &uevent)) {
        return false;
    }
    if (!parseHidId(uevent, vendorId, productId)) return fail(EINVAL);
    return true;
}

bool readCapabilities(Handle handle, std::uint16_t* outputLength, std::uint16_t* inputLength) {
    // The kernel keeps report descriptors of at most 4096 bytes.
    std::string folder;
    std::string descriptor;
    if (!folderOf(handle, &folder) ||
        !readAttribute(folder + "/report_descriptor", 4096, &descriptor)) {
        return false;
    }
    hidraw::ReportLengths lengths;
    if (!hidraw::parseReportLengths(reinterpret_cast<const std::uint8_t*>(descriptor.data()),
                                    descriptor.size(), &lengths)) {
        return fail(EINVAL);
    }
    *outputLength = lengths.output;
    *inputLength = lengths.input;
    return true;
}

// hidraw takes one whole report per write, the report ID in byte 0. It sends it at once, so the
// write itself returns within the USB core's own bound of a few seconds.
bool writeReport(Handle handle, const std::uint8_t* report, std::uint32_t length) {
    return transfer(handle, POLLOUT, [&](int fd) {
        const ssize_t written = write(fd, report, length);
        if (written < 0) {
            if (isRetry(errno)) return Step::again;
            fail(errno);
            return Step::failed;
        }
        if (static_cast<std::size_t>(written) != length) {
            fail(EIO);
            return Step::failed;
        }
        return Step::done;
    });
}

// hidraw hands out one whole report per read, the report ID in byte 0, and drops whatever of it
// does not fit the buffer. The read therefore asks for one byte more than length into a buffer of
// its own: a reply of exactly length bytes is copied out; a longer one (EMSGSIZE) or a shorter one
// (EBADMSG) is a failure that leaves report untouched, since its bytes cannot be laid over the
// reply's fields without misreading them; either way the report is taken off the queue and the
// next read gets the next one. End of file (a peer that closed) is ENODEV.
bool readReport(Handle handle, std::uint8_t* report, std::uint32_t length) {
    if (length == 0 || length > kMaxReportLength) return fail(EINVAL);
    std::vector<std::uint8_t> received(length + 1);
    return transfer(handle, POLLIN, [&](int fd) {
        const ssize_t got = read(fd, received.data(), received.size());
        if (got < 0) {
            if (isRetry(errno)) return Step::again;
            fail(errno);
            return Step::failed;
        }
        if (got == 0) {
            fail(ENODEV);
            return Step::failed;
        }
        if (static_cast<std::size_t>(got) != length) {
            fail(static_cast<std::size_t>(got) > length ? EMSGSIZE : EBADMSG);
            return Step::failed;
        }
        std::memcpy(report, received.data(), length);
        return Step::done;
    });
}

// Sleeps to an absolute deadline on the monotonic clock: a signal that wakes the sleep early
// does not shorten it, and a change of the wall clock does not move it.
void pause(std::uint32_t ms) {
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

std::uint32_t lastError() { return savedError; }

namespace hidraw {

void setRoots(std::string sysfsRoot, std::string devRoot) {
    roots().sysfs = std::move(sysfsRoot);
    roots().dev = std::move(devRoot);
}

void setReportTimeoutMs(std::uint32_t ms) { reportTimeoutMs = ms; }

}  // namespace hidraw

}  // namespace hid
