// kernel-unit-loop: the update's conversation with the unit in its plainest form, the yardstick for
// the product's own update through the same hidraw node (tools/bench): the requests and waits of
// tests/benchmark/update_loop_steps.h. Each exchange is one write and one read after poll() on the
// node; the waits are clock_nanosleep. Nothing else: no lock, no drain of the input, no log, no
// second thread.
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

#include "benchmark/update_loop_steps.h"

namespace {

constexpr std::size_t kReportBytes = 60;
constexpr int kReplyTimeoutMs = 10000;

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
    if (argc != 4 || !update_loop::readImage(argv[2], &image)) {
        std::fprintf(stderr, "usage: kernel-unit-loop NODE IMAGE FIGURES\n");
        return 2;
    }
    const int node = open(argv[1], O_RDWR | O_CLOEXEC);
    if (node < 0) {
        std::perror("kernel-unit-loop: open");
        return 2;
    }
    std::int64_t writeUs = 0, readUs = 0, sleepUs = 0, blocks = 0;
    for (update_loop::Step& step : update_loop::updateSteps(kReportBytes, image)) {
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
