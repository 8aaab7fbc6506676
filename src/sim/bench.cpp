#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <thread>

#include "sim/bench_state.h"

namespace sim {
namespace {

struct OpenHandle {
    unsigned deviceId;
    PendingReply pending;
    std::deque<std::vector<std::uint8_t>> queued;  // held input, handed out before any reply
    bool alone = false;  // opened so that no other handle may write to the device
};

}  // namespace

struct ScopedBench::State {
    std::vector<Device> devices;
    std::vector<Fault> faults;
    std::vector<TranscriptLine> transcript;
    std::map<HandleId, OpenHandle> handles;
    HandleId nextHandle = 0x100;
    unsigned nextDeviceId = 1;
    unsigned exchanges = 0;
    std::uint64_t virtualMs = 0;
    bool realTime = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    bool listFails = false;
    void (*realTimeWait)(std::uint32_t ms) = nullptr;
    std::function<void(std::uint32_t)> whileWaiting;
    unsigned flushes = 0;
};

namespace {

using Bench = ScopedBench::State;

// The bench in use: the process's own, which lives to its end like a PC's bus, or a test's.
Bench*& currentBench() {
    static Bench* current = new Bench;
    return current;
}

Bench& bench() { return *currentBench(); }

std::string defaultPath(const char* kind, std::uint16_t vendorId, std::uint16_t productId) {
    char path[128];
    std::snprintf(path, sizeof path,
                  "\\\\?\\hid#vid_%04x&pid_%04x#%s#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  vendorId, productId, kind);
    return path;
}

}  // namespace

ScopedBench::ScopedBench() : state_(new State), replaced_(currentBench()) {
    state_->realTimeWait = replaced_->realTimeWait;  // the program's, not a test's
    currentBench() = state_;
}

ScopedBench::~ScopedBench() {
    currentBench() = replaced_;
    delete state_;
}

std::mutex& benchMutex() {
    static std::mutex* mutex = new std::mutex;  // outlives every thread that may still use it
    return *mutex;
}

std::vector<Device>& devices() { return bench().devices; }

Device programmingUnit(std::uint16_t productId, std::string path) {
    Device device;
    device.productId = productId;
    device.path = path.empty() ? defaultPath("7&unit&0&0000", 0x5EA7, productId) : path;
    return device;
}

Device otherDevice(std::uint16_t vendorId, std::uint16_t productId, std::string path) {
    Device device;
    device.vendorId = vendorId;
    device.productId = productId;
    device.path = path.empty() ? defaultPath("7&other&0&0000", vendorId, productId) : path;
    return device;
}

void reset() {
    void (*const realTimeWait)(std::uint32_t) =
        bench().realTimeWait;  // the program's, not a test's
    bench() = Bench{};
    bench().realTimeWait = realTimeWait;
}

unsigned plugIn(Device device) {
    device.id = bench().nextDeviceId++;
    bench().devices.push_back(std::move(device));
    return bench().devices.back().id;
}

void unplug(unsigned id) {
    auto& list = bench().devices;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->id == id) {
            list.erase(it);
            return;
        }
    }
}

Device* findDevice(unsigned id) {
    for (Device& device : bench().devices) {
        if (device.id == id) return &device;
    }
    return nullptr;
}

void setInterfaceListFails(bool fails) { bench().listFails = fails; }
bool interfaceListFails() { return bench().listFails; }

void addFault(const Fault& fault) { bench().faults.push_back(fault); }
unsigned exchangeCount() { return bench().exchanges; }

std::uint64_t now() {
    const Bench& b = bench();
    if (!b.realTime) return b.virtualMs;
    const auto elapsed = std::chrono::steady_clock::now() - b.started;
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void advance(std::uint32_t ms) {
    if (!bench().realTime) {
        const std::lock_guard<std::mutex> hold(benchMutex());  // a unit's thread may pause too
        bench().virtualMs += ms;
    } else if (bench().realTimeWait != nullptr) {
        bench().realTimeWait(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    if (bench().whileWaiting) bench().whileWaiting(ms);
}

void setRealTimeWait(void (*wait)(std::uint32_t ms)) { bench().realTimeWait = wait; }

void setWhileWaiting(std::function<void(std::uint32_t ms)> whileWaiting) {
    bench().whileWaiting = std::move(whileWaiting);
}

unsigned inputFlushes() { return bench().flushes; }

void setRealTime(bool realTime) {
    bench().realTime = realTime;
    bench().started = std::chrono::steady_clock::now();
}

const std::vector<TranscriptLine>& transcript() { return bench().transcript; }

void clearTranscript() {
    bench().transcript.clear();
    bench().transcript.shrink_to_fit();
}

namespace {

// The transcript of one device, or of every device (null).
std::string transcriptTextOf(const unsigned* deviceId) {
    std::string text;
    const auto of = [deviceId](const TranscriptLine& line) {
        return deviceId == nullptr || line.deviceId == *deviceId;
    };
    const auto& lines = bench().transcript;
    const auto firstLine = std::find_if(lines.begin(), lines.end(), of);
    if (firstLine == lines.end()) return text;
    const std::uint64_t first = firstLine->ms;
    char field[32];
    for (const TranscriptLine& line : lines) {
        if (!of(line)) continue;
        std::snprintf(field, sizeof field, "%llu",
                      static_cast<unsigned long long>(line.ms - first));
        text += field;
        text += line.out ? " OUT" : " IN";
        for (std::uint8_t byte : line.bytes) {
            std::snprintf(field, sizeof field, " %02x", byte);
            text += field;
        }
        text += '\n';
    }
    return text;
}

bool writeText(const std::string& fileName, const std::string& text) {
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

std::string transcriptText() { return transcriptTextOf(nullptr); }
std::string transcriptText(unsigned deviceId) { return transcriptTextOf(&deviceId); }

bool writeTranscript(const std::string& fileName) { return writeText(fileName, transcriptText()); }

bool writeTranscript(const std::string& fileName, unsigned deviceId) {
    return writeText(fileName, transcriptText(deviceId));
}

unsigned openHandleCount() { return static_cast<unsigned>(bench().handles.size()); }

bool openHandleRefused(const Device& device, bool alone) {
    if (alone && device.writerElsewhere) return true;
    for (const auto& entry : bench().handles) {
        // Every handle but one opened alone may write, so one opened alone excludes every other.
        if (entry.second.deviceId == device.id && (alone || entry.second.alone)) return true;
    }
    return false;
}

HandleId openHandle(Device& device, bool alone) {
    const HandleId handle = bench().nextHandle++;
    bench().handles[handle] =
        OpenHandle{device.id, {}, {device.heldInput.begin(), device.heldInput.end()}, alone};
    ++device.opens;
    return handle;
}

Device* deviceForHandle(HandleId handle) {
    const auto found = bench().handles.find(handle);
    if (found == bench().handles.end()) return nullptr;
    return findDevice(found->second.deviceId);
}

void closeHandle(HandleId handle) {
    const auto found = bench().handles.find(handle);
    if (found == bench().handles.end()) return;
    if (Device* device = findDevice(found->second.deviceId)) ++device->closes;
    bench().handles.erase(found);
}

const Fault* beginExchange() {
    const unsigned number = bench().exchanges++;
    for (const Fault& fault : bench().faults) {
        if (fault.exchange == number) return &fault;
    }
    return nullptr;
}

void record(unsigned deviceId, bool out, const std::uint8_t* bytes, std::uint32_t length) {
    bench().transcript.push_back(TranscriptLine{now(), out, {bytes, bytes + length}, deviceId});
}

PendingReply& pendingReply(HandleId handle) { return bench().handles.at(handle).pending; }

void queueInput(HandleId handle, std::vector<std::uint8_t> report) {
    bench().handles.at(handle).queued.push_back(std::move(report));
}

bool takeQueuedInput(HandleId handle, std::vector<std::uint8_t>* report) {
    auto& queued = bench().handles.at(handle).queued;
    if (queued.empty()) return false;
    *report = std::move(queued.front());
    queued.pop_front();
    return true;
}

bool flushInput(HandleId handle) {
    const auto found = bench().handles.find(handle);
    if (found == bench().handles.end()) return false;
    // A reply not read yet counts as arrived: the unit has sent it.
    const bool dropped = !found->second.queued.empty() || found->second.pending.waiting;
    found->second.queued.clear();
    found->second.pending = PendingReply{};
    ++bench().flushes;
    return dropped;
}

}  // namespace sim
