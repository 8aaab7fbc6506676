// The recorded sessions of tests/data/recordings served as the unit: each through the procedure
// as the programs drive it and through the command-line program, each to the end it must reach,
// with every request as recorded. A session replayed with a log of its own gives the recorded
// exchanges back. And a request that differs from the recording ends its exchange and is named.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/device_session.h"
#include "device/session_log.h"
#include "linux/cli.h"
#include "linux/cli_texts.h"
#include "recorded_sessions.h"
#include "replay/replay.h"
#include "replay/replay_hid.h"
#include "engine/text_ids.h"

namespace {

std::string recordingPath(const std::string& file) {
    return std::string(RECORDINGS_DIR) + "/" + file;
}

replay::Recording load(const std::string& file) {
    replay::Recording recording;
    std::string problem;
    EXPECT_TRUE(replay::readRecordingFile(recordingPath(file), &recording, &problem)) << problem;
    return recording;
}

std::string readText(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The lines that a replay serves, without their times: the reports and the failed transfers.
std::vector<std::string> servedLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream text(log);
    for (std::string line; std::getline(text, line);) {
        const bool failure = line.find(" failed, error ") != std::string::npos;
        const bool unit = line.find(" unit vendor ") != std::string::npos;
        if (line.rfind("# ", 0) == 0 && !failure && !unit) continue;
        const std::size_t time = line.find(' ', line.rfind("# ", 0) == 0 ? 2 : 0);
        lines.push_back(line.substr(time + 1));
    }
    return lines;
}

// Answers from the recorded session's text, one question after another.
struct RecordedAnswers {
    std::istringstream answers;
};

bool answerAsRecorded(void* context, UpdateQuestion /*question*/) {
    std::string answer;
    std::getline(static_cast<RecordedAnswers*>(context)->answers, answer);
    return answer == "y";
}

class Replay : public ::testing::TestWithParam<recorded::Session> {};

// The procedure as both programs drive it: the unit opened and judged, the questions, the unit
// identified again, the image written.
TEST_P(Replay, ThroughTheProcedure) {
    const recorded::Session& session = GetParam();
    replay::RecordingBackend backend(load(session.file));
    replay::ReplayClock clock;
    DeviceSession device({backend, clock});
    const UnitState state = judgeUnit(openSession(device), device);
    EXPECT_EQ(state, session.state);
    if (state == UnitState::ready) {
        RecordedAnswers answers{
            std::istringstream(session.arguments.size() > 1 ? "y\ny\n" : session.answers)};
        UpdateFace face;
        face.context = &answers;
        face.ask = answerAsRecorded;
        const Confirmation confirmation = confirmUpdate(device, face);
        EXPECT_EQ(confirmation, session.confirmation);
        if (confirmation == Confirmation::given) {
            const FirmwareImage image = firmwareImage();
            ASSERT_TRUE(canBeSent(image, true));
            const UpdateOutcome outcome = writeFirmware(device, image, UpdateProgress{});
            ASSERT_TRUE(session.written);
            EXPECT_EQ(outcome.succeeded, session.result == 0);
            if (!outcome.succeeded) {
                EXPECT_EQ(outcome.failedStep, session.failedStep);
                EXPECT_EQ(outcome.result, session.result);
                EXPECT_EQ(outcome.lastError, session.lastError);
            }
        }
    }
    closeSession(device);
    EXPECT_EQ(replay::firstDifference(), "");
    EXPECT_TRUE(replay::servedWhole()) << "the recording goes on";
}

// The command-line program, with the arguments and answers of the recording: its exit code, its
// failure report, and a log of its own that holds the recorded exchanges again.
TEST_P(Replay, ThroughTheCommandLineProgram) {
    const recorded::Session& session = GetParam();
    replay::RecordingBackend backend(load(session.file));
    replay::ReplayClock clock;
    std::istringstream in(session.answers);
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{in, out, err, nullptr, -1, Language::english, true, nullptr, {backend, clock}};
    const std::string ownLog = ::testing::TempDir() + "replayed-" + session.file;
    std::vector<std::string> arguments = session.arguments;
    arguments.insert(arguments.end(), {"--log", ownLog});
    EXPECT_EQ(runCli(arguments, io), session.exitCode) << out.str();
    EXPECT_EQ(replay::firstDifference(), "");
    EXPECT_TRUE(replay::servedWhole()) << "the recording goes on";

    if (session.written && session.result != 0) {
        char line[64];
        std::snprintf(line, sizeof line, "%08x-0x%08x", static_cast<unsigned>(session.result),
                      session.lastError);
        EXPECT_NE(out.str().find(catalogueUtf8(kTextBlockFailed, Language::english) + '\n'),
                  std::string::npos)
            << out.str();
        EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
        EXPECT_NE(out.str().find("The log of this run: " + ownLog + '\n'), std::string::npos)
            << "named after the failure: " << out.str();
    }
    const std::vector<std::string> recorded = servedLines(readText(recordingPath(session.file)));
    ASSERT_GT(recorded.size(), 1u) << "the unit and its first exchange at least";
    EXPECT_EQ(servedLines(readText(ownLog)), recorded);
    std::remove(ownLog.c_str());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Recordings, Replay, ::testing::ValuesIn(recorded::sessions()),
                         [](const ::testing::TestParamInfo<recorded::Session>& info) {
                             std::string name = info.param.file;
                             name = name.substr(0, name.find('.'));
                             for (char& c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });
// clang-format on

// A request that is not the recorded one: its exchange fails as a write, nothing after it is
// served, and the replay names the request and its first differing byte.
TEST(ReplayDiffers, ARequestNotAsRecordedFailsItsWriteAndIsNamed) {
    replay::Recording recording = load("whole-update.log");
    for (replay::Event& event : recording.events) {
        if (event.kind == replay::EventKind::out && event.bytes[1] == 0x1E) {
            event.bytes[7] ^= 0x01;  // the erase's key, one bit off
            break;
        }
    }
    replay::RecordingBackend backend(std::move(recording));
    replay::ReplayClock clock;
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{in, out, err, nullptr, -1, Language::english, true, nullptr, {backend, clock}};
    const std::string ownLog = ::testing::TempDir() + "replay-differs.log";
    EXPECT_EQ(runCli({"update", "--yes", "--log", ownLog}, io), kExitUpdateFailed);
    std::remove(ownLog.c_str());
    EXPECT_NE(out.str().find(catalogueUtf8(kTextEraseFailed, Language::english)),
              std::string::npos);
    EXPECT_NE(out.str().find("0xfffffffe-0xe0000001"), std::string::npos) << out.str();
    const std::string& difference = replay::firstDifference();
    EXPECT_NE(difference.find("request 9 "), std::string::npos) << difference;
    EXPECT_NE(difference.find("at byte 7:"), std::string::npos) << difference;
}

// A recording that cannot be served is refused with the line that cannot be read.
TEST(ReplayDiffers, AnUnreadableLineIsNamed) {
    replay::Recording recording;
    std::string problem;
    EXPECT_FALSE(replay::readRecording(
        "# program: x\n# 0 unit vendor 5ea7 product 0002 output 60 input 60 path /dev/hidraw0\n"
        "3 OUT 01 zz\n",
        &recording, &problem));
    EXPECT_EQ(problem.rfind("line 3 ", 0), 0u) << problem;
    EXPECT_FALSE(replay::readRecording("# program: x\n4 OUT 01 08\n", &recording, &problem));
}

// A file beyond the bound is refused with a message, and a device without end is not read whole
// (it once ended in bad_alloc).
TEST(ReplayDiffers, AFileBeyondTheBoundIsRefusedUnread) {
    const std::string large = ::testing::TempDir() + "replay-large.log";
    std::ofstream(large) << "# program: x\n";
    std::filesystem::resize_file(large, replay::kLargestRecording + 1);  // sparse
    for (const std::string& file : {large, std::string("/dev/zero")}) {
        replay::Recording recording;
        std::string problem;
        EXPECT_FALSE(replay::readRecordingFile(file, &recording, &problem)) << file;
        EXPECT_EQ(problem, file + " is larger than 16 MB, more than any session log");
    }
    std::remove(large.c_str());
}

}  // namespace
