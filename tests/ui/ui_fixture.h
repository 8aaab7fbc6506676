// A clean window, bench and session for every user-interface test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ui/fake_window.h"
#include "sim/bench.h"
#include "sim/sim_hid.h"
#include "ui/app.h"
#include "engine/format_text.h"
#include "ui/resource_ids.h"

// Device paths as a removal notice carries them (wide) and as the bench keeps them (UTF-8).
// The bench's own paths are ASCII.
inline std::wstring widePath(const std::string& asciiPath) {
    return std::wstring(asciiPath.begin(), asciiPath.end());
}
inline std::string narrowPath(const std::wstring& path) { return toUtf8(path.c_str()); }

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        startAppSession({backend, clock});
        fake::reset();
    }
    void TearDown() override {
        closeSession(appSession());
        EXPECT_EQ(sim::openHandleCount(), 0u) << "a device handle was left open";
    }

    sim::ScopedBench bench;  // this test's own, fresh
    sim::BenchBackend backend;
    sim::BenchClock clock;

    // A status as the Hint box shows it: the status, an empty line, the connection steps.
    static std::wstring withInstructions(std::uint16_t statusId) {
        return fake::text(statusId) + L"\r\n\r\n" + fake::text(kTextInstructions);
    }
};
