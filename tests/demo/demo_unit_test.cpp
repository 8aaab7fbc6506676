// The demos' unit: the simulated bench until a recording is served, then the recording, chosen
// at run time; a recording of another image is refused and the bench stays.
#include "demo/demo_unit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/bench.h"

namespace {

// A recording whose first event opens the unit at "recorded-unit".
std::string recordingFile(const std::string& digest) {
    const std::string file = ::testing::TempDir() + "demo-unit-" + digest + ".log";
    std::ofstream(file) << "# program: terval-updater-test 1.0\n"
                        << "# image sha256: " << digest << "\n"
                        << "# system: TestOS\n"
                        << "# started: 2026-12-10T15:51:28Z\n"
                        << "# 0 unit vendor 5ea7 product 0002 output 60 input 60 path "
                           "recorded-unit\n";
    return file;
}

// The paths of the units that the backend lists.
std::vector<std::string> listed(hid::Backend& backend) {
    std::vector<hid::DeviceInfo> devices;
    hid::Error error = 0;
    EXPECT_TRUE(backend.enumerate(0x5EA7, 0, &devices, &error));
    std::vector<std::string> paths;
    for (const hid::DeviceInfo& device : devices) paths.push_back(device.path);
    return paths;
}

class DemoUnitTest : public ::testing::Test {
protected:
    void SetUp() override { sim::plugIn(sim::programmingUnit(2, "bench-unit")); }

    sim::ScopedBench bench;
    demo::DemoUnit unit;
};

TEST_F(DemoUnitTest, ServesTheBenchUntilARecordingIsChosen) {
    EXPECT_FALSE(unit.servesRecording());
    EXPECT_EQ(listed(unit.backend()), std::vector<std::string>{"bench-unit"});
    unit.clock().pause(20);
    EXPECT_EQ(sim::now(), 20u) << "the bench's clock";

    const std::string file = recordingFile("00ff");
    std::string problem;
    ASSERT_TRUE(unit.serveRecording(file, "00ff", &problem)) << problem;
    std::remove(file.c_str());
    EXPECT_TRUE(unit.servesRecording());
    EXPECT_EQ(listed(unit.backend()), std::vector<std::string>{"recorded-unit"});
    unit.clock().pause(4000);
    EXPECT_EQ(sim::now(), 20u) << "a recording is served without its waits";
}

TEST_F(DemoUnitTest, ARecordingOfAnotherImageIsRefusedAndTheBenchStays) {
    const std::string file = recordingFile("00ff");
    std::string problem;
    EXPECT_FALSE(unit.serveRecording(file, "abcd", &problem));
    std::remove(file.c_str());
    EXPECT_NE(problem.find("00ff"), std::string::npos) << problem;
    EXPECT_NE(problem.find("abcd"), std::string::npos) << problem;
    EXPECT_FALSE(unit.servesRecording());
    EXPECT_EQ(listed(unit.backend()), std::vector<std::string>{"bench-unit"});
}

}  // namespace
