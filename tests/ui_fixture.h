// A clean window, bench and session for every user-interface test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake_window.h"
#include "sim/bench.h"
#include "ui/app.h"
#include "ui/resource_ids.h"

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        closeSession(appSession());
        sim::reset();
        fake::reset();
    }
    void TearDown() override {
        closeSession(appSession());
        EXPECT_EQ(sim::openHandleCount(), 0u) << "a device handle was left open";
        EXPECT_EQ(sim::unreleasedInterfaceRecords(), 0u) << "an interface list or detail leaked";
    }

    // A status as the Hint box shows it: the status, an empty line, the connection steps.
    static std::wstring withInstructions(std::uint16_t statusId) {
        return fake::text(statusId) + L"\r\n\r\n" + fake::text(kTextInstructions);
    }
};
