// kernel-unit-loop: the update's conversation with the unit in its plainest form, the yardstick for
// the product's own update through the same hidraw node (tools/bench). The same requests in the
// same order with the same waits as the update (src/flash/update_procedure.cpp): lock, 20 ms,
// write protection off, 20 ms, erase (its reply read 1000 ms after it), 4000 ms, 20 ms, address,
// 20 ms, every block of the image followed by 20 ms, protection on, release. Each exchange is one
// write and one read after poll() on the node; the waits are clock_nanosleep. Nothing else: no
// lock, no drain of the input, no log, no second thread.
//
//   kernel-unit-loop NODE IMAGE FIGURES
//
// Writes into FIGURES, for the blocks, the mean time of a write, of a reply from the write's end,
// and of a 20 ms sleep, in microseconds on the monotonic clock. Exit 0 when every request was
// written and answered without a refusal, 1 when not, 2 when it cannot run.
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kReportBytes = 60;
constexpr std::size_t kBlockBytes = 48;
constexpr std::uint32_t kUnlockKey = 0x6A2F3C91;
constexpr int kReplyTimeoutMs = 10000;

using Report = std::vector<std::uint8_t>;

Report request(std::uint8_t command, std::uint8_t lengthByte) {
    Report report(kReportBytes, 0);
    report[0] = 0x01;
    report[1] = command;
    report[2] = lengthByte;
    return report;
}

void putLe32(Report& report, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) report[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Report stateRequest(std::uint8_t command, bool on) {
    Report report = request(command, 0x01);
    report[3] = on ? 1 : 0;
    return report;
}

// A request with the wait before its read and the wait after its reply, in milliseconds.
struct Step {
    Report request;
    unsigned beforeReadMs;
    unsigned afterMs;
    bool block;
};

std::vector<Step> updateSteps(const std::vector<std::uint8_t>& image) {
    std::vector<Step> steps;
    steps.push_back({stateRequest(0x0B, true), 0, 20, false});
    steps.push_back({stateRequest(0x20, false), 0, 20, false});
    Report erase = request(0x1E, 0x04);
    putLe32(erase, 4, kUnlockKey);
    steps.push_back({erase, 1000, 4000 + 20, false});
    Report address = request(0x1F, 0x09);
    address[3] = 0x01;
    putLe32(address, 4, 0);
    putLe32(address, 8, kUnlockKey);
    steps.push_back({address, 0, 20, false});
    for (std::size_t offset = 0; offset < image.size(); offset += kBlockBytes) {
        const std::size_t length = std::min(kBlockBytes, image.size() - offset);
        // A short last block declares its words and carries 0xFF to the end of the area.
        Report block = request(0x1B, static_cast<std::uint8_t>(length / 4 * 4));
        std::memset(&block[4], 0xFF, kBlockBytes);
        std::memcpy(&block[4], &image[offset], length);
        steps.push_back({block, 0, 20, true});
    }
    steps.push_back({stateRequest(0x20, true), 0, 0, false});
    steps.push_back({stateRequest(0x0B, false), 0, 0, false});
    return steps;
}

bool readImage(const char* fileName, std::vector<std::uint8_t>* image) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) return false;
    std::uint8_t buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) != 0;) {
        image->insert(image->end(), buffer, buffer + got);
    }
    std::fclose(file);
    return !image->empty();
}

std::int64_t nowMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void sleepMs(unsigned ms) {
    timespec length{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &length, &length) != 0) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::uint8_t> image;
    if (argc != 4 || !readImage(argv[2], &image)) {
        std::fprintf(stderr, "usage: kernel-unit-loop NODE IMAGE FIGURES\n");
        return 2;
    }
    const int node = open(argv[1], O_RDWR | O_CLOEXEC);
    if (node < 0) {
        std::perror("kernel-unit-loop: open");
        return 2;
    }
    std::int64_t writeUs = 0, readUs = 0, sleepUs = 0, blocks = 0;
    for (Step& step : updateSteps(image)) {
        const std::int64_t started = nowMicroseconds();
        if (write(node, step.request.data(), kReportBytes) != static_cast<ssize_t>(kReportBytes)) {
            std::perror("kernel-unit-loop: write");
            return 1;
        }
        const std::int64_t written = nowMicroseconds();
        if (step.beforeReadMs != 0) sleepMs(step.beforeReadMs);
        pollfd ready{node, POLLIN, 0};
        std::uint8_t reply[kReportBytes + 1] = {};
        if (poll(&ready, 1, kReplyTimeoutMs) != 1 || read(node, reply, sizeof reply) <= 0) {
            std::fprintf(stderr, "kernel-unit-loop: no reply to 0x%02x\n", step.request[1]);
            return 1;
        }
        const std::int64_t answered = nowMicroseconds();
        if (reply[0] != 0x02 || reply[1] == 0xFF) {
            std::fprintf(stderr, "kernel-unit-loop: request 0x%02x refused\n", step.request[1]);
            return 1;
        }
        if (step.afterMs != 0) sleepMs(step.afterMs);
        if (step.block) {
            ++blocks;
            writeUs += written - started;
            readUs += answered - written;
            sleepUs += nowMicroseconds() - answered;
        }
    }
    close(node);
    std::FILE* file = std::fopen(argv[3], "wb");
    if (file == nullptr) return 2;
    std::fprintf(file, "loop_write_us %lld\nloop_read_us %lld\nloop_sleep_us %lld\n",
                 static_cast<long long>(writeUs / blocks), static_cast<long long>(readUs / blocks),
                 static_cast<long long>(sleepUs / blocks));
    return std::fclose(file) == 0 ? 0 : 2;
}
