// The update's cost natively, against the simulated unit in virtual time: the CPU time of whole
// updates, and the heap allocations of one request/reply exchange.
//
// Allocations are counted by taking the place of the C library's malloc, calloc and realloc
// (operator new goes through malloc), so that every allocation of the process passes by the
// counter; nothing here asks for over-aligned memory, the one kind that goes another way. The
// simulator keeps a transcript of every report it sees, which is its bookkeeping and not part of
// the exchange: its recording function is wrapped at link time
// (-Wl,--wrap=<sim::record>) and what it allocates is not counted.
//
// Prints "name value" lines for tools/bench.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/device_session.h"
#include "linux/hidraw_settings.h"
#include "ui/fake_window.h"
#include "ui/update.h"
#include "sim/bench.h"
#include "sim/sim_hid.h"
#include "ui/app.h"
#include "ui/device_presence.h"
#include "ui/resource_ids.h"

// ---- Allocation counter ----

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
}

namespace {

bool counting = false;       // between the start and the end of a measurement
bool inBookkeeping = false;  // inside the simulator's transcript
unsigned long allocations = 0;
unsigned long bookkeepingAllocations = 0;  // shown, so that the exclusion can be seen at work

void countAllocation() {
    if (!counting) return;
    ++(inBookkeeping ? bookkeepingAllocations : allocations);
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
    countAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    countAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
    countAllocation();
    return __libc_realloc(pointer, size);
}

// sim::record(unsigned, bool, const std::uint8_t*, std::uint32_t), the simulator's transcript.
void __real__ZN3sim6recordEjbPKhj(unsigned deviceId, bool out, const std::uint8_t* bytes,
                                  std::uint32_t length);
void __wrap__ZN3sim6recordEjbPKhj(unsigned deviceId, bool out, const std::uint8_t* bytes,
                                  std::uint32_t length) {
    inBookkeeping = true;
    __real__ZN3sim6recordEjbPKhj(deviceId, out, bytes, length);
    inBookkeeping = false;
}

}  // extern "C"

namespace {

constexpr int kUpdates = 20;
constexpr int kExchanges = 10000;
constexpr std::uint8_t kStatusQuery = 0x08;

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

DeviceEventRecord noticeFor(const std::wstring& path) {
    return DeviceEventRecord{kDeviceTypeInterface, path.c_str()};
}

struct UpdateRun {
    double cpuSeconds = 0;
    std::uint64_t virtualMs = 0;
    bool succeeded = false;
};

// One unit plugged in, updated and pulled out; the CPU time is that of the update alone.
UpdateRun runOneUpdate() {
    acceptPlaceholderImage(true);  // the unit is simulated
    const unsigned id = sim::plugIn(sim::programmingUnit());
    const std::string& benchPath = sim::findDevice(id)->path;  // ASCII, as the bench's paths are
    const std::wstring path(benchPath.begin(), benchPath.end());
    const DeviceEventRecord record = noticeFor(path);
    onDeviceChange(kDeviceArrival, &record);

    UpdateRun run;
    const std::uint64_t startedMs = sim::now();
    const double started = cpuSeconds();
    runUpdate();
    run.cpuSeconds = cpuSeconds() - started;
    run.virtualMs = sim::now() - startedMs;
    run.succeeded = fake::controlText(kHintBox) == fake::text(kTextUpdateSucceeded);

    sim::unplug(id);
    onDeviceChange(kDeviceRemoveComplete, &record);
    sim::clearTranscript();
    fake::state().boxes.clear();
    fake::state().windowCalls.clear();
    return run;
}

// kUpdates whole updates; the median CPU time and the virtual time of one. Not succeeded when
// any of them failed.
UpdateRun medianUpdate() {
    sim::reset();
    fake::reset();
    static sim::BenchBackend backend;
    static sim::BenchClock clock;
    startAppSession({backend, clock});
    runStartupProbe();
    std::vector<UpdateRun> runs;
    for (int i = 0; i < kUpdates; ++i) {
        runs.push_back(runOneUpdate());
        if (!runs.back().succeeded) return runs.back();
    }
    std::sort(runs.begin(), runs.end(),
              [](const UpdateRun& a, const UpdateRun& b) { return a.cpuSeconds < b.cpuSeconds; });
    return runs[runs.size() / 2];
}

// The counter sees an allocation of this program's own; false when the C library's functions
// were not replaced and every count would read 0.
bool counterWorks() {
    allocations = 0;
    counting = true;
    std::string* probe = new std::string(100, 'x');
    counting = false;
    delete probe;
    return allocations >= 2;
}

// Allocations per exchange over kExchanges status queries on an open session; negative when the
// session cannot be opened or an exchange fails.
double allocationsPerExchange() {
    sim::reset();
    sim::plugIn(sim::programmingUnit());
    sim::BenchBackend backend;
    sim::BenchClock clock;
    DeviceSession session({backend, clock});
    if (openSession(session) != kSuccess) return -1.0;
    const Report request = makeRequest(kStatusQuery, 0x00);
    Report reply{};
    bool failed = false;
    allocations = 0;
    bookkeepingAllocations = 0;
    counting = true;
    for (int i = 0; i < kExchanges; ++i) {
        failed = failed || exchange(session, request, reply, 0) != kSuccess;
    }
    counting = false;
    closeSession(session);
    sim::clearTranscript();
    if (failed) return -1.0;
    return static_cast<double>(allocations) / kExchanges;
}

// How far the Linux program's 20 ms pause (the update's pause between blocks, on its monotonic
// clock) overshoots on this machine, in microseconds: the median of kWaitsTimed; negative when
// one was shorter.
constexpr int kWaitsTimed = 15;
double medianWaitOvershootUs() {
    using std::chrono::steady_clock;
    hid::hidraw::MonotonicClock clock;
    std::vector<long long> overshoots;
    for (int i = 0; i < kWaitsTimed; ++i) {
        const steady_clock::time_point start = steady_clock::now();
        clock.pause(20);
        const long long spent =
            std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - start)
                .count();
        if (spent < 20000) return -1.0;
        overshoots.push_back(spent - 20000);
    }
    std::sort(overshoots.begin(), overshoots.end());
    return static_cast<double>(overshoots[overshoots.size() / 2]);
}

}  // namespace

int main() {
    if (!counterWorks()) {
        std::fprintf(stderr, "update-bench: the allocation counter sees nothing\n");
        return 1;
    }
    const double perExchange = allocationsPerExchange();
    if (perExchange < 0) {
        std::fprintf(stderr, "update-bench: the exchanges failed\n");
        return 1;
    }
    std::printf("allocations_per_exchange %.4g\n", perExchange);
    std::printf("transcript_allocations_per_exchange %.4g\n",
                static_cast<double>(bookkeepingAllocations) / kExchanges);
    std::printf("exchanges_counted %d\n", kExchanges);

    const UpdateRun update = medianUpdate();
    if (!update.succeeded) {
        std::fprintf(stderr, "update-bench: an update did not succeed\n");
        return 1;
    }
    std::printf("update_cpu_ms %.3f\n", update.cpuSeconds * 1000.0);
    std::printf("update_virtual_ms %llu\n", static_cast<unsigned long long>(update.virtualMs));
    std::printf("updates_timed %d\n", kUpdates);

    const double overshoot = medianWaitOvershootUs();
    if (overshoot < 0) {
        std::fprintf(stderr, "update-bench: a 20 ms wait was shorter than asked\n");
        return 1;
    }
    std::printf("wait_overshoot_us %.0f\n", overshoot);
    std::printf("waits_timed %d\n", kWaitsTimed);
    return 0;
}
