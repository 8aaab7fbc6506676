// A clean simulated bench for every test, and views of what went over the wire.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "device/device_session.h"
#include "sim/bench.h"
#include "sim/sim_hid.h"

class SimTest : public ::testing::Test {
protected:
    void TearDown() override {
        closeSession(session);
        EXPECT_EQ(sim::openHandleCount(), 0u) << "a device handle was left open";
    }

    // Plugs in a ready LINK-CUBE and returns its place on the bench.
    sim::Device& plugUnit(std::uint16_t productId = 2) {
        return *sim::findDevice(sim::plugIn(sim::programmingUnit(productId)));
    }

    // The requests written so far.
    static std::vector<std::vector<std::uint8_t>> requests() {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& line : sim::transcript()) {
            if (line.out) out.push_back(line.bytes);
        }
        return out;
    }

    // The command codes of the requests written so far.
    static std::vector<std::uint8_t> commandsSent() {
        std::vector<std::uint8_t> codes;
        for (const auto& request : requests()) codes.push_back(request[1]);
        return codes;
    }

    sim::ScopedBench bench;  // this test's own, fresh
    sim::BenchBackend backend;
    sim::BenchClock clock;
    DeviceSession session{{backend, clock}};
};

// A report of the given length whose leading bytes are given and the rest zero.
inline std::vector<std::uint8_t> reportBytes(std::initializer_list<std::uint8_t> leading,
                                             std::size_t length = 60) {
    std::vector<std::uint8_t> bytes(leading);
    bytes.resize(length, 0);
    return bytes;
}
