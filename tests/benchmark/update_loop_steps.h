// The update's requests and waits in their plainest form, for the minimal loops that are the
// yardsticks of the product's update through a real HID stack (tests/virtual-unit/update_loop.cpp
// through Wine's, tests/kernel-unit/update_loop.cpp through the kernel's). The same requests in the
// same order with the same waits as the update (src/flash/update_procedure.cpp): lock, 20 ms,
// write protection off, 20 ms, erase (its reply read 1000 ms after it), 4000 ms, 20 ms, address,
// 20 ms, every block of the image followed by 20 ms, protection on, release.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace update_loop {

constexpr std::size_t kBlockBytes = 48;
constexpr std::uint32_t kUnlockKey = 0x6A2F3C91;

using Report = std::vector<std::uint8_t>;

// A request with the wait before its read and the wait after its reply, in milliseconds.
struct Step {
    Report request;
    unsigned beforeReadMs;
    unsigned afterMs;
    bool block;
};

inline Report request(std::size_t reportBytes, std::uint8_t command, std::uint8_t lengthByte) {
    Report report(reportBytes, 0);
    report[0] = 0x01;
    report[1] = command;
    report[2] = lengthByte;
    return report;
}

inline void putLe32(Report& report, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) report[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline Report stateRequest(std::size_t reportBytes, std::uint8_t command, bool on) {
    Report report = request(reportBytes, command, 0x01);
    report[3] = on ? 1 : 0;
    return report;
}

// The update of image in reports of reportBytes (the report ID first).
inline std::vector<Step> updateSteps(std::size_t reportBytes,
                                     const std::vector<std::uint8_t>& image) {
    std::vector<Step> steps;
    steps.push_back({stateRequest(reportBytes, 0x0B, true), 0, 20, false});
    steps.push_back({stateRequest(reportBytes, 0x20, false), 0, 20, false});
    Report erase = request(reportBytes, 0x1E, 0x04);
    putLe32(erase, 4, kUnlockKey);
    steps.push_back({erase, 1000, 4000 + 20, false});
    Report address = request(reportBytes, 0x1F, 0x09);
    address[3] = 0x01;
    putLe32(address, 4, 0);
    putLe32(address, 8, kUnlockKey);
    steps.push_back({address, 0, 20, false});
    for (std::size_t offset = 0; offset < image.size(); offset += kBlockBytes) {
        const std::size_t length = std::min(kBlockBytes, image.size() - offset);
        // A short last block declares its words and carries 0xFF to the end of the area.
        Report block = request(reportBytes, 0x1B, static_cast<std::uint8_t>(length / 4 * 4));
        std::memset(&block[4], 0xFF, kBlockBytes);
        std::memcpy(&block[4], &image[offset], length);
        steps.push_back({block, 0, 20, true});
    }
    steps.push_back({stateRequest(reportBytes, 0x20, true), 0, 0, false});
    steps.push_back({stateRequest(reportBytes, 0x0B, false), 0, 0, false});
    return steps;
}

inline bool readImage(const char* fileName, std::vector<std::uint8_t>* image) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) return false;
    std::uint8_t buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) != 0;) {
        image->insert(image->end(), buffer, buffer + got);
    }
    std::fclose(file);
    return !image->empty();
}

}  // namespace update_loop
