// The command-line program with the Linux HID backend over a sysfs tree in a temporary folder:
// a unit that is there but that this user may not open, or that another program holds, is named
// with its own text and exit code 5, and nothing is sent to it; also under --wait.
#include <cerrno>
#include <chrono>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "linux/cli.h"
#include "linux/cli_texts.h"
#include "sysfs_fixture.h"

namespace {

using namespace sysfs;

struct CliRun {
    int exitCode = -1;
    std::string out;
    long long ms = 0;
};

class CliOverSysfs : public SysfsTest {
protected:
    // The program with args; as a user whom the nodes' modes bind when asUser.
    CliRun run(const std::vector<std::string>& args, Language language, bool asUser = false) {
        const auto start = std::chrono::steady_clock::now();
        const auto cli = [&] {
            std::istringstream in;
            std::ostringstream out;
            std::ostringstream err;
            CliIo io{in, out, err, {}, -1, language, false, nullptr, {backend, clock}};
            const int code = runCli(args, io);
            return std::to_string(code) + '\n' + out.str();
        };
        std::string told;
        if (asUser) {
            EXPECT_TRUE(runUnprivileged(cli, &told)) << "the child did not run as another user";
        } else {
            told = cli();
        }
        CliRun result;
        result.ms = millisecondsSince(start);
        const std::size_t end = told.find('\n');
        if (end == std::string::npos) return result;
        result.exitCode = std::stoi(told.substr(0, end));
        result.out = told.substr(end + 1);
        return result;
    }
};

struct UnavailableCase {
    const char* name;
    std::vector<FakeDevice> devices;
    std::vector<std::string> args;
    Language language;
    int exitCode;
    std::optional<TextId> text;  // the text said, naming namedNode
    unsigned namedNode;
    int queriedNode;  // the node that got the status query; -1: none
};

void PrintTo(const UnavailableCase& c, std::ostream* os) { *os << c.name; }

class UnitUnavailable : public CliOverSysfs, public testing::WithParamInterface<UnavailableCase> {};

// The text says why, names the node and tells what to do; the wait, if asked for, ends at once
// for a unit that was there from the start. Another failure to open is no unit.
TEST_P(UnitUnavailable, IsNamedWithItsTextAndExitCode) {
    const UnavailableCase& c = GetParam();
    bool asUser = false;
    for (const FakeDevice& device : c.devices) {
        add(device);
        asUser = asUser || device.forbidden;
    }
    const CliRun ran = run(c.args, c.language, asUser);
    EXPECT_EQ(ran.exitCode, c.exitCode);
    if (c.text) {
        EXPECT_EQ(ran.out, catalogueUtf8(*c.text, c.language, node(c.namedNode)));
        EXPECT_NE(ran.out.find(node(c.namedNode)), std::string::npos) << ran.out;
    }
    EXPECT_EQ(ran.out.find(catalogueUtf8(kTextWaitingForUnit, c.language)), std::string::npos)
        << ran.out;
    EXPECT_LT(ran.ms, 1500) << "the wait went on";
    const Report query = makeRequest(0x08, 0x00);
    for (const FakeDevice& device : c.devices) {
        const bool queried = static_cast<int>(device.number) == c.queriedNode;
        EXPECT_EQ(contents(node(device.number)),
                  queried ? Bytes(query.begin(), query.end()) : Bytes{})
            << nodeName(device.number);
    }
}

const std::vector<std::string> kStatus = {"status"};
const std::vector<std::string> kUpdate = {"update", "--yes"};
const std::vector<std::string> kUpdateWait = {"update", "--yes", "--wait"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cli, UnitUnavailable,
    testing::Values(
        UnavailableCase{"StatusInUse", {mouse(0), held(unit(1))}, kStatus, Language::english,
                        kExitUnavailable, kTextNodeInUse, 1, -1},
        UnavailableCase{"StatusInUseGerman", {held(unit(0))}, kStatus, Language::german,
                        kExitUnavailable, kTextNodeInUse, 0, -1},
        UnavailableCase{"StatusNotPermitted", {mouse(0), forbidden(unit(1))}, kStatus,
                        Language::english, kExitUnavailable, kTextNodeNotPermitted, 1,
                        -1},
        UnavailableCase{"StatusNotPermittedGerman", {forbidden(unit(0))}, kStatus,
                        Language::german, kExitUnavailable, kTextNodeNotPermitted, 0, -1},
        UnavailableCase{"UpdateInUse", {held(unit(0))}, kUpdate, Language::english,
                        kExitUnavailable, kTextNodeInUse, 0, -1},
        UnavailableCase{"UpdateWaitInUse", {held(unit(0))}, kUpdateWait, Language::english,
                        kExitUnavailable, kTextNodeInUse, 0, -1},
        UnavailableCase{"UpdateWaitNotPermitted", {forbidden(unit(0))}, kUpdateWait,
                        Language::german, kExitUnavailable, kTextNodeNotPermitted, 0,
                        -1},
        // Two units: each is judged, the held one without a word sent to it; the exit code is
        // the first one's.
        UnavailableCase{"OneOfTwoUnitsHeld", {held(unit(0)), unit(1)}, kStatus,
                        Language::english, kExitUnavailable, std::nullopt, 0, 1},
        UnavailableCase{"NodeOfAnotherDevice", {withDevAttribute(unit(0), "241:0\n")}, kStatus,
                        Language::english, kExitNoUnit, std::nullopt, 0, -1}),
    [](const testing::TestParamInfo<UnavailableCase>& info) { return info.param.name; });
// clang-format on

// A unit that comes during the wait may not be open to the user yet (udev grants access a moment
// after the node appears): the wait goes on for a while, then ends as for a unit there from the
// start.
constexpr int kComesAfterMs = 300;

TEST_F(CliOverSysfs, AUnitThatComesDuringTheWaitAndStaysHeldEndsItAfterAWhile) {
    std::thread plugIn([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kComesAfterMs));
        add(held(unit(0)));
    });
    const CliRun ran = run(kUpdateWait, Language::english);
    plugIn.join();
    EXPECT_EQ(ran.exitCode, kExitUnavailable);
    EXPECT_EQ(ran.out, catalogueUtf8(kTextWaitingForUnit, Language::english) +
                           catalogueUtf8(kTextNodeInUse, Language::english, node(0)));
    EXPECT_GE(ran.ms, kComesAfterMs + 1000) << "the wait ended before access could be granted";
    EXPECT_LT(ran.ms, kComesAfterMs + 5000);
    EXPECT_EQ(contents(node(0)), Bytes{});
}

// --device takes the unit at that node alone, named by the node or by a link to it (as udev
// makes them); the other unit is not opened.
TEST_F(CliOverSysfs, DeviceTakesOnlyTheUnitAtThatNode) {
    add(unit(0));
    add(unit(1, kProductIdLinkwave));
    const std::string link = root + "/terval-unit";
    ASSERT_EQ(symlink(node(1).c_str(), link.c_str()), 0);
    const Report query = makeRequest(0x08, 0x00);
    for (const std::string& named : {node(1), link}) {
        const CliRun ran = run({"status", "--device", named}, Language::english);
        EXPECT_EQ(ran.exitCode, kExitNoUnit) << named << ": its unit does not answer here";
        EXPECT_EQ(contents(node(0)), Bytes{}) << named;
    }
    Bytes twice(query.begin(), query.end());
    twice.insert(twice.end(), query.begin(), query.end());
    EXPECT_EQ(contents(node(1)), twice) << "one status query from each run";
    const CliRun ran = run({"status", "--device", root + "/dev/hidraw7"}, Language::english);
    EXPECT_EQ(ran.exitCode, kExitUsage);
    EXPECT_EQ(contents(node(0)), Bytes{});
}

}  // namespace
