// The log of a session with the unit: what it holds, where it goes, and that it changes nothing
// of the update, written or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "device/session_log.h"
#include "flash/firmware_image.h"
#include "flash/update_procedure.h"
#include "sim/bench.h"
#include "sim_fixture.h"

namespace {

namespace fs = std::filesystem;

const sessionlog::Header kHeader{"terval-updater-test 1.0", "00ff", "TestOS 1 x86_64"};

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
    }
    void TearDown() override {
        sessionlog::stop();
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
};

// The header, the unit, every report as the unit saw it, the steps and the outcome.
TEST_F(SessionLog, HoldsTheHeaderEveryReportTheStepsAndTheOutcome) {
    const fs::path file = folder / "run.log";
    sessionlog::start(kHeader, {file.u8string(), ""}, sim::now);
    const std::vector<std::string> transcript = update();
    ASSERT_TRUE(sessionlog::write());
    EXPECT_EQ(sessionlog::fileName(), file.u8string());

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
    sessionlog::start(kHeader, {file.u8string(), ""}, sim::now);
    plugUnit();
    ASSERT_EQ(openSession(session), kSuccess);
    // The lock's reply never comes; on a second try the unit is pulled as the lock goes out.
    sim::addFault({sim::exchangeCount(), sim::FaultKind::noAnswer, 0});
    EXPECT_FALSE(writeFirmware(session, firmwareImage(), UpdateProgress{}).succeeded);
    sim::addFault({sim::exchangeCount(), sim::FaultKind::removed, 0});
    EXPECT_FALSE(writeFirmware(session, firmwareImage(), UpdateProgress{}).succeeded);
    ASSERT_TRUE(sessionlog::write());
    const std::string text = readText(file);
    EXPECT_NE(text.find(" IN failed, error 1460\n# 10000 step lock: result 0xfffffffd, last error "
                        "0x000005b4\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" OUT failed, error 1167: 01 0b 01 01 "), std::string::npos) << text;
}

// An unwritable log is left out: the update sends the same reports at the same times.
TEST_F(SessionLog, AnUnwritableLogChangesNothingOfTheUpdate) {
    std::vector<std::string> unlogged;
    {
        sim::ScopedBench other;
        unlogged = update();
        closeSession(session);
    }
    std::ofstream(folder / "not-a-folder") << "x";
    sessionlog::start(kHeader, {"", (folder / "not-a-folder" / "logs").u8string()}, sim::now);
    EXPECT_EQ(update(), unlogged);
    EXPECT_FALSE(sessionlog::write());
    EXPECT_EQ(sessionlog::fileName(), "");
}

// Nothing is written for a run that opened no unit.
TEST_F(SessionLog, NothingIsWrittenBeforeAUnitWasOpened) {
    sessionlog::start(kHeader, {"", folder.u8string()}, sim::now);
    EXPECT_EQ(openSession(session), kNoUnitPresent);
    EXPECT_FALSE(sessionlog::write());
    EXPECT_TRUE(fs::is_empty(folder));
}

// A folder keeps the newest logs, named by their start, and nothing else of it is touched.
TEST_F(SessionLog, AFolderKeepsTheNewestTwenty) {
    for (int day = 1; day <= 25; ++day) {
        char name[64];
        std::snprintf(name, sizeof name, "2020-01-%02d_10-00-00-000.log", day);
        std::ofstream(folder / name) << "old";
    }
    std::ofstream(folder / "notes.txt") << "mine";
    sessionlog::start(kHeader, {"", folder.u8string()}, sim::now);
    update();
    ASSERT_TRUE(sessionlog::write());
    const fs::path written = fs::u8path(sessionlog::fileName());
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
    sessionlog::note("outcome: later");
    ASSERT_TRUE(sessionlog::write());
    EXPECT_EQ(fs::u8path(sessionlog::fileName()), written);
    const std::vector<std::string> lines = linesOf(readText(written));
    EXPECT_NE(lines.back().find(" outcome: later"), std::string::npos);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const std::string& line) { return line.rfind("# program:", 0) == 0; }),
        1);
}

}  // namespace
