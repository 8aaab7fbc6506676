// A long run: whole updates one after another, each with its unit plugged in and pulled out
// again, in virtual time. The memory in use must not grow from one update to the next; the
// sanitizers' leak check covers the end of the run.
#include <gtest/gtest.h>

#include <cstddef>

// The sanitizers' allocator tells how much memory is in use.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();

#include "ui/update.h"
#include "ui/device_presence.h"
#include "ui/ui_fixture.h"

namespace {

constexpr int kUpdates = 200;

class Soak : public UiTest {
protected:
    // One unit's life: plugged in, updated, pulled out; the bench forgets its traffic after it.
    void updateOneUnit() {
        const unsigned id = sim::plugIn(sim::programmingUnit());
        const std::wstring path = widePath(sim::findDevice(id)->path);
        const DeviceEventRecord record{kDeviceTypeInterface, path.c_str()};
        onDeviceChange(kDeviceArrival, &record);
        ASSERT_TRUE(fake::isEnabled(kUpdateButton));
        runUpdate();
        ASSERT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateSucceeded));
        sim::unplug(id);
        onDeviceChange(kDeviceRemoveComplete, &record);
        ASSERT_FALSE(isOpen(appSession()));
        sim::clearTranscript();
        fake::state().boxes.clear();
        fake::state().windowCalls.clear();
    }
};

TEST_F(Soak, TwoHundredUpdatesInARowUseNoMoreMemory) {
    acceptPlaceholderImage(true);  // the units are simulated
    runStartupProbe();
    updateOneUnit();
    const std::size_t afterFirst = __sanitizer_get_current_allocated_bytes();
    for (int i = 1; i < kUpdates; ++i) {
        updateOneUnit();
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(__sanitizer_get_current_allocated_bytes(), afterFirst);
    EXPECT_EQ(sim::openHandleCount(), 0u);
}

}  // namespace
