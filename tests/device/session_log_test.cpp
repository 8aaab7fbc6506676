// The log of a session with the unit: what it holds, where it goes, and that it changes nothing
// of the update, written or not.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "device/session_log.h"
#include "flash/firmware_image.h"
#include "flash/update_procedure.h"
#include "sim/bench.h"
#include "sim/sim_fixture.h"

namespace {

namespace fs = std::filesystem;

const sessionlog::Header kHeader{"terval-updater-test 1.0", "00ff", "TestOS 1 x86_64"};
const hid::DeviceInfo kUnit{"/dev/hidraw0", 0x5ea7, 0x0002, 60, 60};

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The simulator's transcript as text lines without their times.
std::vector<std::string> withoutTimes(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == '#') continue;
        out.push_back(line.substr(line.find(' ') + 1));
    }
    return out;
}

class SessionLog : public SimTest {
protected:
    void SetUp() override {
        folder = fs::path(::testing::TempDir()) /
                 ("session-log-" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        session.log = &log;
    }
    void TearDown() override {
        log.stop();
        SimTest::TearDown();
        fs::remove_all(folder);
    }

    // A whole update of the carried image on a ready unit; the simulator's transcript.
    std::vector<std::string> update() {
        plugUnit();
        EXPECT_EQ(openSession(session), kSuccess);
        const UpdateOutcome outcome = writeFirmware(session, firmwareImage(), UpdateProgress{});
        EXPECT_TRUE(outcome.succeeded);
        return linesOf(sim::transcriptText());
    }

    fs::path folder;
    sessionlog::Log log;  // the session's
};

// The header, the unit, every report as the unit saw it, the steps and the outcome.
TEST_F(SessionLog, HoldsTheHeaderEveryReportTheStepsAndTheOutcome) {
    const fs::path file = folder / "run.log";
    log.start(kHeader, {file.u8string(), ""}, clock);
    const std::vector<std::string> transcript = update();
    ASSERT_TRUE(log.write());
    EXPECT_EQ(log.fileName(), file.u8string());

    const std::vector<std::string> lines = linesOf(readText(file));
    ASSERT_GT(lines.size(), 5u);
    EXPECT_EQ(lines[0], "# program: terval-updater-test 1.0");
    EXPECT_EQ(lines[1], "# image sha256: 00ff");
    EXPECT_EQ(lines[2], "# system: TestOS 1 x86_64");
    EXPECT_EQ(lines[3].rfind("# started: 20", 0), 0u) << lines[3];
    EXPECT_EQ(lines[3].back(), 'Z') << "in UTC";
    EXPECT_EQ(
        lines[4].substr(lines[4].find(" unit ")),
        " unit vendor 5ea7 product 0002 output 60 input 60 path " + sim::programmingUnit().path);
    EXPECT_EQ(withoutTimes(lines), withoutTimes(transcript));
    for (const char* step :
         {"lock", "unprotect", "erase", "address", "blocks, all 1880", "protect", "release"}) {
        const std::string expected =
            std::string(" step ") + step + ": result 0x00000000, last error 0x00000000";
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(expected) != std::string::npos;
        })) << expected;
    }
    EXPECT_NE(lines.back().find(" outcome: the update succeeded"), std::string::npos);
    // Times from the log's start on the given clock: the erase's reply a second after it.
    const auto erase = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find(" OUT 01 1e ") != std::string::npos;
    });
    ASSERT_NE(erase, lines.end());
    EXPECT_EQ(std::stoul(*(erase + 1)) - std::stoul(*erase), 1000u);
}

// Failed transfers are kept with their errors, so that a replay fails them the same way.
TEST_F(SessionLog, KeepsAFailedWriteWithItsRequestAndAFailedReadWithItsError) {
    const fs::path file = folder / "run.log";
    log.start(kHeader, {file.u8string(), ""}, clock);
    plugUnit();
    ASSERT_EQ(openSession(session), kSuccess);
    // The lock's reply never comes; on a second try the unit is pulled as the lock goes out.
    sim::addFault({sim::exchangeCount(), sim::FaultKind::noAnswer, 0});
    EXPECT_FALSE(writeFirmware(session, firmwareImage(), UpdateProgress{}).succeeded);
    sim::addFault({sim::exchangeCount(), sim::FaultKind::removed, 0});
    EXPECT_FALSE(writeFirmware(session, firmwareImage(), UpdateProgress{}).succeeded);
    ASSERT_TRUE(log.write());
    const std::string text = readText(file);
    EXPECT_NE(text.find(" IN failed, error 1460\n# 10000 step lock: result 0xfffffffd, last error "
                        "0x000005b4\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" OUT failed, error 1167: 01 0b 01 01 "), std::string::npos) << text;
}

// An unwritable log is left out: the update sends the same reports at the same times as one
// of a session given no log at all.
TEST_F(SessionLog, AnUnwritableLogChangesNothingOfTheUpdate) {
    std::vector<std::string> unlogged;
    {
        sim::ScopedBench other;
        session.log = nullptr;
        unlogged = update();
        closeSession(session);
        session.log = &log;
    }
    std::ofstream(folder / "not-a-folder") << "x";
    log.start(kHeader, {"", (folder / "not-a-folder" / "logs").u8string()}, clock);
    EXPECT_EQ(update(), unlogged);
    EXPECT_FALSE(log.write());
    EXPECT_EQ(log.fileName(), "");
}

// Sessions side by side each record into their own log: its unit, its reports, its steps, and
// nothing of the other's.
TEST_F(SessionLog, EachSessionRecordsIntoItsOwnLog) {
    const unsigned firstId = sim::plugIn(sim::programmingUnit(2, "unit-one"));
    const unsigned secondId = sim::plugIn(sim::programmingUnit(1, "unit-two"));
    sessionlog::Log secondLog;
    DeviceSession second({backend, clock, &secondLog});
    log.start(kHeader, {"", ""}, clock);
    secondLog.start(kHeader, {"", ""}, clock);

    std::vector<hid::DeviceInfo> units;
    ASSERT_TRUE(findUnits(backend, &units));
    ASSERT_EQ(units.size(), 2u);
    ASSERT_EQ(openUnit(session, units[0]), kSuccess);
    ASSERT_EQ(openUnit(second, units[1]), kSuccess);
    sim::addFault({sim::exchangeCount(), sim::FaultKind::refuse, sim::kRefusedHardwareFault});
    ASSERT_FALSE(writeFirmware(second, firmwareImage(), UpdateProgress{}).succeeded);
    closeSession(second);

    const std::vector<std::string> first = linesOf(log.text());
    const std::vector<std::string> other = linesOf(secondLog.text());
    const auto holds = [](const std::vector<std::string>& lines, const std::string& part) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    };
    EXPECT_TRUE(holds(first, "path unit-one"));
    EXPECT_FALSE(holds(first, "path unit-two"));
    EXPECT_TRUE(holds(other, "path unit-two"));
    EXPECT_FALSE(holds(other, "path unit-one"));
    EXPECT_EQ(withoutTimes(first), withoutTimes(linesOf(sim::transcriptText(firstId))));
    EXPECT_EQ(withoutTimes(other), withoutTimes(linesOf(sim::transcriptText(secondId))));
    EXPECT_FALSE(holds(first, "outcome:"));
    EXPECT_TRUE(holds(other, "outcome: the update failed"));
}

// Nothing is written for a run that opened no unit, nor for one given no place for its log (no
// home folder); neither counts as a log lost.
TEST_F(SessionLog, NothingIsWrittenBeforeAUnitWasOpened) {
    log.start(kHeader, {"", folder.u8string()}, clock);
    EXPECT_EQ(openSession(session), kNoUnitPresent);
    EXPECT_FALSE(log.write());
    EXPECT_FALSE(log.lost());
    EXPECT_TRUE(fs::is_empty(folder));

    log.start(kHeader, {"", ""}, clock);
    log.unitOpened(kUnit);
    EXPECT_FALSE(log.write());
    EXPECT_FALSE(log.lost());
}

// A folder keeps the newest logs, named by their start, and nothing else of it is touched.
TEST_F(SessionLog, AFolderKeepsTheNewestTwenty) {
    for (int day = 1; day <= 25; ++day) {
        char name[64];
        std::snprintf(name, sizeof name, "2020-01-%02d_10-00-00-000.log", day);
        std::ofstream(folder / name) << "old";
    }
    std::ofstream(folder / "notes.txt") << "mine";
    log.start(kHeader, {"", folder.u8string()}, clock);
    update();
    ASSERT_TRUE(log.write());
    const fs::path written = fs::u8path(log.fileName());
    EXPECT_EQ(written.parent_path(), folder);

    std::vector<std::string> logs;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".log") logs.push_back(entry.path().filename().u8string());
    }
    std::sort(logs.begin(), logs.end());
    ASSERT_EQ(logs.size(), sessionlog::kLogsKept);
    EXPECT_EQ(logs.front(), "2020-01-07_10-00-00-000.log") << "the oldest went";
    EXPECT_EQ(logs.back(), written.filename().u8string()) << "the new one is the newest";
    EXPECT_TRUE(fs::exists(folder / "notes.txt"));

    // A later write of the same run adds to the same file.
    log.note("outcome: later");
    ASSERT_TRUE(log.write());
    EXPECT_EQ(fs::u8path(log.fileName()), written);
    const std::vector<std::string> lines = linesOf(readText(written));
    EXPECT_NE(lines.back().find(" outcome: later"), std::string::npos);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const std::string& line) { return line.rfind("# program:", 0) == 0; }),
        1);
}

// A run that ends after twenty newer ones keeps its own log: it is the file just named to the
// user, and a later write of the run puts it there whole.
TEST_F(SessionLog, ARunEndingAfterTwentyNewerOnesKeepsItsOwnLog) {
    log.start(kHeader, {"", folder.u8string()}, clock);
    update();
    for (int day = 1; day <= 25; ++day) {  // runs that started later and ended first
        char name[64];
        std::snprintf(name, sizeof name, "2099-01-%02d_10-00-00-000.log", day);
        std::ofstream(folder / name) << "newer";
    }
    ASSERT_TRUE(log.write());
    const fs::path own = fs::u8path(log.fileName());
    log.note("exit code 4");
    ASSERT_TRUE(log.write());

    std::vector<std::string> logs;
    for (const auto& entry : fs::directory_iterator(folder)) {
        logs.push_back(entry.path().filename().u8string());
    }
    std::sort(logs.begin(), logs.end());
    ASSERT_EQ(logs.size(), sessionlog::kLogsKept) << "the temporary file is gone too";
    EXPECT_EQ(logs.front(), own.filename().u8string());
    EXPECT_EQ(logs[1], "2099-01-07_10-00-00-000.log") << "the oldest of the others went";
    EXPECT_EQ(readText(own), log.text());
    EXPECT_NE(readText(own).find(" exit code 4\n"), std::string::npos);
}

// The name is taken exclusively: a copy started in the same millisecond, whose file is already
// there, keeps it, and this run's log gets a name of its own.
TEST_F(SessionLog, ACopyStartedInTheSameMillisecondKeepsItsFile) {
    const auto msNow = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const long long before = msNow();
    log.start(kHeader, {"", folder.u8string()}, clock);
    const long long after = msNow();
    for (long long ms = before; ms <= after; ++ms) {  // every name the start could have given
        const std::string name = sessionlog::logNameAt(std::chrono::system_clock::time_point(
                                     std::chrono::milliseconds(ms))) +
                                 ".log";
        std::ofstream(folder / name) << "the other copy's";
    }
    update();
    ASSERT_TRUE(log.write());
    const fs::path own = fs::u8path(log.fileName());
    EXPECT_EQ(own.filename().u8string().substr(23), "-2.log") << own;
    EXPECT_EQ(readText(own), log.text());
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path() != own) {
            EXPECT_EQ(readText(entry.path()), "the other copy's");
        }
    }
}

#ifndef _WIN32
// A disk that takes no more (here the file size limit, which fails a write as a full disk does)
// leaves no empty or partial log: the first write leaves none, a later one the earlier whole
// text, and the run learns that it was lost. Once there is room again the whole log is written.
TEST_F(SessionLog, AFullDiskLeavesNoPartialLogAndIsKnown) {
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto signalBefore = std::signal(SIGXFSZ, SIG_IGN);
    const auto writeWithRoomFor = [&](rlim_t bytes) {
        struct rlimit limit = before;
        limit.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const bool written = log.write();
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
        return written;
    };
    const auto files = [&] {
        std::vector<fs::path> all;
        for (const auto& entry : fs::directory_iterator(folder)) all.push_back(entry.path());
        return all;
    };

    log.start(kHeader, {"", folder.u8string()}, clock);
    update();
    EXPECT_FALSE(writeWithRoomFor(4096));
    EXPECT_TRUE(log.lost());
    EXPECT_EQ(log.fileName(), "");
    EXPECT_TRUE(files().empty()) << files().front();

    ASSERT_TRUE(writeWithRoomFor(before.rlim_cur));
    EXPECT_FALSE(log.lost());
    const fs::path own = fs::u8path(log.fileName());
    const std::string whole = readText(own);
    log.note("outcome: later");
    EXPECT_FALSE(writeWithRoomFor(whole.size()));
    EXPECT_TRUE(log.lost());
    EXPECT_EQ(files(), std::vector<fs::path>{own});
    EXPECT_EQ(readText(own), whole) << "the earlier whole text stays";

    ASSERT_TRUE(writeWithRoomFor(before.rlim_cur));
    EXPECT_FALSE(log.lost());
    EXPECT_EQ(readText(own), log.text());
    std::signal(SIGXFSZ, signalBefore);
}

// A log is its user's alone, whatever the umask: the file 0600, its folder 0700, one left open
// to others by an earlier version included.
TEST_F(SessionLog, ALogIsItsUsersAlone) {
    const mode_t umaskBefore = umask(022);
    const struct {
        const char* name;
        bool folderThere;  // made 0755 before the run, as earlier versions did
    } cases[] = {{"new folder", false}, {"earlier folder", true}};
    for (const auto& c : cases) {
        const fs::path logs = folder / c.name;
        if (c.folderThere) {
            fs::create_directory(logs);
            fs::permissions(logs, fs::perms(0755));
        }
        log.start(kHeader, {"", logs.u8string()}, clock);
        log.unitOpened(kUnit);
        ASSERT_TRUE(log.write()) << c.name;
        EXPECT_EQ(fs::status(logs).permissions(), fs::perms(0700)) << c.name;
        EXPECT_EQ(fs::status(log.fileName()).permissions(), fs::perms(0600)) << c.name;
    }
    log.start(kHeader, {(folder / "named.log").u8string(), ""}, clock);
    log.unitOpened(kUnit);
    ASSERT_TRUE(log.write());
    EXPECT_EQ(fs::status(folder / "named.log").permissions(), fs::perms(0600));
    umask(umaskBefore);
}

#endif  // the file size limit and the modes are Linux's

}  // namespace
