// The simulator's transcript: the readable record of every report that the tests and the demo
// leave behind.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "sim/sim_fixture.h"

namespace {

TEST_F(SimTest, TranscriptHasOneLinePerReportAtFullLength) {
    sim::Device& unit = plugUnit();
    unit.unit.esc.status = 0;
    unit.outputReportLength = 52;
    sim::advance(250);  // time before the first report does not count
    ASSERT_EQ(openSession(session), kSuccess);
    Report reply{};
    sim::advance(20);
    ASSERT_EQ(exchange(session, makeRequest(0x08, 0), reply, 1000), kSuccess);

    std::istringstream text(sim::transcriptText());
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u);
    std::string statusQuery = "0 OUT 01 08 00";
    for (int i = 3; i < 52; ++i) statusQuery += " 00";
    EXPECT_EQ(lines[0], statusQuery);
    EXPECT_EQ(lines[1].substr(0, 27), "0 IN 02 00 00 00 00 00 07 0");
    EXPECT_EQ(lines[1].size(), std::string("0 IN").size() + 60 * 3);
    EXPECT_EQ(lines[2].substr(0, 11), "20 OUT 01 0");
    EXPECT_EQ(lines[3].substr(0, 10), "1020 IN 02");
}

TEST_F(SimTest, TranscriptIsWrittenToAFile) {
    plugUnit();
    ASSERT_EQ(openSession(session), kSuccess);
    const std::string fileName = ::testing::TempDir() + "transcript.txt";
    ASSERT_TRUE(sim::writeTranscript(fileName));
    std::ifstream file(fileName, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), sim::transcriptText());
    std::remove(fileName.c_str());
}

}  // namespace
