// The command-line program against the simulated unit, in virtual time: what it prints, what it
// sends and how it ends, for each state and each way an update can go.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "linux/cli.h"
#include "linux/cli_texts.h"
#include "sim/bench.h"
#include "sim/bench_setup.h"
#include "test_image.h"
#include "ui/resource_ids.h"

namespace {

// Input that does something (pulls a unit, say) when the program first reads it, then answers.
class ActingInput : public std::streambuf {
public:
    ActingInput(std::string answers, std::function<void()> onFirstRead)
        : answers_(std::move(answers)), onFirstRead_(std::move(onFirstRead)) {}

protected:
    int_type underflow() override {
        if (onFirstRead_) {
            const auto act = std::move(onFirstRead_);
            onFirstRead_ = nullptr;
            act();
        }
        if (served_) return traits_type::eof();
        served_ = true;
        setg(answers_.data(), answers_.data(), answers_.data() + answers_.size());
        return answers_.empty() ? traits_type::eof() : traits_type::to_int_type(answers_[0]);
    }

private:
    std::string answers_;
    std::function<void()> onFirstRead_;
    bool served_ = false;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override { sim::reset(); }
    void TearDown() override {
        EXPECT_EQ(sim::openHandleCount(), 0u) << "a device handle was left open";
        test_image::passForPlaceholder(false);
    }

    // Puts the unit that the words describe on the bench, as the demo does.
    unsigned bench(const std::string& words) {
        sim::UnitSetup setup;
        EXPECT_TRUE(sim::parseUnitSetup(words, &setup)) << words;
        return setup.pluggedIn ? sim::plugIn(sim::unitFor(setup)) : 0;
    }

    int run(std::vector<std::string> arguments, const std::string& answers = "",
            std::function<void()> onFirstRead = nullptr) {
        ActingInput input(answers, std::move(onFirstRead));
        std::istream in(&input);
        CliIo io{in, out, err, errIsTerminal, language, acceptPlaceholder};
        return runCli(arguments, io);
    }

    std::string text(std::uint16_t id) const { return catalogueUtf8(id, language); }
    bool says(const std::string& part) const { return out.str().find(part) != std::string::npos; }

    // The command codes that went out since the bench was reset.
    static std::vector<std::uint8_t> commandsSent() {
        std::vector<std::uint8_t> codes;
        for (const auto& line : sim::transcript()) {
            if (line.out) codes.push_back(line.bytes[1]);
        }
        return codes;
    }
    static bool sentAnyUpdateCommand() {
        for (std::uint8_t code : commandsSent()) {
            if (code == 0x0B || code == 0x20 || code == 0x1E || code == 0x1F || code == 0x1B) {
                return true;
            }
        }
        return false;
    }

    std::ostringstream out;
    std::ostringstream err;
    bool errIsTerminal = false;
    Language language = Language::english;
    bool acceptPlaceholder = true;  // the unit is simulated
};

// `status`: the three rows and the Hint text of each state, and its exit code.
struct StatusCase {
    const char* name;
    const char* benchWords;
    Language language;
    int exitCode;
    std::vector<std::string> rows;  // each row's caption and label, as printed
    std::uint16_t status;
};

class Status : public Cli, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(Status, PrintsTheRowsAndTheHintOfTheState) {
    const StatusCase& c = GetParam();
    language = c.language;
    bench(c.benchWords);
    EXPECT_EQ(run({"status"}), c.exitCode);
    std::istringstream lines(out.str());
    for (const std::string& row : c.rows) {
        std::string line;
        std::getline(lines, line);
        std::string squeezed;  // the columns' padding aside
        for (char ch : line) {
            if (ch != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += ch;
        }
        EXPECT_EQ(squeezed, row);
    }
    EXPECT_TRUE(says(text(c.status))) << out.str();
    EXPECT_EQ(says(text(kTextInstructions)), c.status != kTextReady);
    EXPECT_FALSE(sentAnyUpdateCommand());
}

INSTANTIATE_TEST_SUITE_P(
    States, Status,
    ::testing::Values(
        StatusCase{"Ready", "", Language::english, 0,
                   {"LINK-CUBE: 1.2", "ESC-bootloader: 1.5", "ESC: 0.9"}, kTextReady},
        StatusCase{"ReadyLinkwaveNoFirmware", "linkwave no-firmware", Language::german, 0,
                   {"LINKWAVE: 1.2", "Regler-Bootloader: 1.5", "Regler: ----------"}, kTextReady},
        StatusCase{"NoUnit", "unplugged", Language::english, 2,
                   {"programming unit: 0.0.0", "ESC-bootloader: 0.0.0", "ESC: 0.0.0"},
                   kTextNoUnit},
        StatusCase{"WrongMode", "wrong-mode", Language::german, 3,
                   {"Programmiereinheit: 0.0.0"}, kTextWrongMode},
        StatusCase{"NoController", "no-controller", Language::english, 3, {}, kTextNoController},
        StatusCase{"Incompatible", "other-type", Language::english, 3, {}, kTextIncompatible},
        StatusCase{"SilentController", "silent-controller", Language::english, 2, {},
                   kTextNoUnit}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, AnIncompatibleControllerIsNamedAsTheWindowsNoticeNamesIt) {
    bench("other-type");
    run({"status"});
    EXPECT_TRUE(says(text(kTextIncompatibleCaption)));
    EXPECT_TRUE(says(incompatibleNotice(language)));
    EXPECT_NE(incompatibleNotice(language).find("'TERVAL 160 LX'"), std::string::npos);
}

TEST_F(Cli, AWholeUpdateSendsTheImageAndSaysSo) {
    bench("");
    EXPECT_EQ(run({"update", "--yes"}), kExitOk);
    const std::vector<std::uint8_t> sent = commandsSent();
    const std::vector<std::uint8_t> identify = {0x08, 0x1D, 0x22};
    // Identified, asked, identified again right before the first command, then the update.
    ASSERT_GE(sent.size(), 6 + 4 + test_image::kBlocks + 2);
    EXPECT_TRUE(std::equal(identify.begin(), identify.end(), sent.begin()));
    EXPECT_TRUE(std::equal(identify.begin(), identify.end(), sent.begin() + 3));
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin() + 6, sent.begin() + 10),
              (std::vector<std::uint8_t>{0x0B, 0x20, 0x1E, 0x1F}));
    EXPECT_EQ(std::size_t(std::count(sent.begin(), sent.end(), 0x1B)), test_image::kBlocks);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.end() - 2, sent.end()),
              (std::vector<std::uint8_t>{0x20, 0x0B}));
    EXPECT_TRUE(says(text(kTextWarning)));
    EXPECT_TRUE(says(text(kTextUpdateSucceeded)));
    EXPECT_FALSE(says(text(kTextOlderOrSame))) << "0.9 is older than the image";
    // Without a terminal: one line per tenth.
    EXPECT_EQ(err.str(), "10 %\n20 %\n30 %\n40 %\n50 %\n60 %\n70 %\n80 %\n90 %\n100 %\n");
}

TEST_F(Cli, OnATerminalTheBarIsRedrawnInPlace) {
    errIsTerminal = true;
    bench("");
    EXPECT_EQ(run({"update", "--yes"}), kExitOk);
    const std::string bar = err.str();
    EXPECT_EQ(bar.find("\r  0 % [........................................] -:--"), 0u) << bar.substr(0, 80);
    EXPECT_NE(bar.find("\r100 % [########################################] 0:00"), std::string::npos);
    EXPECT_EQ(bar.back(), '\n');
    EXPECT_EQ(std::count(bar.begin(), bar.end(), '\n'), 1);
}

// The confirmations: the warning always, the older-or-same question by the installed version;
// anything but yes sends nothing and ends with 4.
struct AnswerCase {
    const char* name;
    const char* benchWords;
    Language language;
    std::string answers;
    int exitCode;
    int questions;
};

class Answers : public Cli, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(Answers, DecideWhetherAnythingIsSent) {
    const AnswerCase& c = GetParam();
    language = c.language;
    bench(c.benchWords);
    EXPECT_EQ(run({"update"}, c.answers), c.exitCode);
    EXPECT_EQ(says(text(kTextOlderOrSame)), c.questions == 2);
    EXPECT_EQ(sentAnyUpdateCommand(), c.exitCode == kExitOk);
    EXPECT_EQ(says(cliText(CliText::declined, c.language)), c.exitCode == kExitDeclined);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Answers,
    ::testing::Values(AnswerCase{"NoAtTheWarning", "", Language::english, "n\n", 4, 1},
                      AnswerCase{"EmptyAnswerIsNo", "", Language::english, "\n", 4, 1},
                      AnswerCase{"EndOfInputIsNo", "", Language::english, "", 4, 1},
                      AnswerCase{"YesAtTheWarning", "", Language::english, "y\n", 0, 1},
                      AnswerCase{"JaInGerman", "", Language::german, "ja\n", 0, 1},
                      AnswerCase{"JIsNoInEnglish", "", Language::english, "j\n", 4, 1},
                      AnswerCase{"NoAtTheQuestion", "firmware-1.0", Language::english,
                                 "y\nn\n", 4, 2},
                      AnswerCase{"YesToBoth", "firmware-1.0", Language::english, "y\nyes\n", 0,
                                 2},
                      AnswerCase{"NoFirmwareNotAsked", "no-firmware", Language::english, "y\n",
                                 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, ARefusedCommandEndsInItsReportWithTheErrorCodeLine) {
    bench("erase-refused");
    EXPECT_EQ(run({"update", "--yes"}), kExitUpdateFailed);
    EXPECT_TRUE(says(text(kTextUpdateFailedCaption) + "\n" + text(kTextEraseFailed) + "\n" +
                     errorCodeLine(language, sim::kRefusedHardwareFault, 0) + "\n"))
        << out.str();
    EXPECT_TRUE(says(text(kTextUpdateFailedHint)));
    EXPECT_NE(errorCodeLine(language, sim::kRefusedHardwareFault, 0).find("0x00000107-0x00000000"),
              std::string::npos);
    EXPECT_FALSE(says(text(kTextUpdateSucceeded)));
}

// The unit is checked again right before the first command: one swapped while the question was
// on the terminal is not written; the report has no error-code line.
TEST_F(Cli, AUnitSwappedWhileAskingIsNotWritten) {
    const unsigned first = bench("");
    const int code = run({"update"}, "y\n", [&] {
        sim::unplug(first);
        bench("linkwave silent-controller");
    });
    EXPECT_EQ(code, kExitUpdateFailed);
    EXPECT_FALSE(sentAnyUpdateCommand());
    EXPECT_TRUE(says(text(kTextLockFailed) + "\n\n" + text(kTextUpdateFailedHint)));
    EXPECT_FALSE(says("0x"));
}

TEST_F(Cli, ThePlaceholderIsNeverWrittenToARealUnit) {
    test_image::passForPlaceholder(true);
    acceptPlaceholder = false;
    bench("");
    EXPECT_EQ(run({"update", "--yes"}), kExitUpdateFailed);
    EXPECT_FALSE(sentAnyUpdateCommand());
    EXPECT_TRUE(says(text(kTextUpdateFailedCaption) + "\n" + text(kTextUpdateFailedHint)));
}

TEST_F(Cli, WaitPollsUntilAUnitIsPluggedIn) {
    int polls = 0;
    sim::setWhileWaiting([&](std::uint32_t ms) {
        if (ms == 250 && ++polls == 3) bench("");
    });
    EXPECT_EQ(run({"update", "--yes", "--wait"}), kExitOk);
    EXPECT_EQ(polls, 3);
    EXPECT_TRUE(says(cliText(CliText::waiting, language)));
    EXPECT_EQ(out.str().find(cliText(CliText::waiting, language)),
              out.str().rfind(cliText(CliText::waiting, language)))
        << "said once";
    EXPECT_TRUE(says(text(kTextUpdateSucceeded)));
}

TEST_F(Cli, WithoutWaitNoUnitEndsAtOnce) {
    EXPECT_EQ(run({"update", "--yes"}), kExitNoUnit);
    EXPECT_TRUE(says(text(kTextNoUnit)));
}

// Ctrl-C while the update writes is said once and the update goes on to its end.
TEST_F(Cli, AnInterruptionDuringTheWritingIsSaidAndTheUpdateFinishes) {
    bench("");
    int waits = 0;
    std::vector<bool> writing;
    sim::setWhileWaiting([&](std::uint32_t) {
        writing.push_back(cliIsWriting());
        if (++waits == 100 || waits == 200) cliInterrupted();
    });
    EXPECT_EQ(run({"update", "--yes"}), kExitOk);
    EXPECT_TRUE(writing[10]) << "the pauses of the update are part of the writing";
    EXPECT_FALSE(cliIsWriting());
    const std::string said = text(kTextUpdateInProgress);
    ASSERT_NE(err.str().find(said), std::string::npos);
    EXPECT_EQ(err.str().find(said), err.str().rfind(said)) << "said once";
    EXPECT_TRUE(says(text(kTextUpdateSucceeded)));
    EXPECT_EQ(commandsSent().back(), 0x0B) << "the lock released at the end";
}

TEST_F(Cli, CommandLinesThatAreNotUnderstoodEndWithTheUsage) {
    const std::vector<std::vector<std::string>> lines = {
        {}, {"bogus"}, {"status", "--yes"}, {"update", "--force"}, {"--Help"}};
    for (const auto& line : lines) {
        err.str("");
        EXPECT_EQ(run(line), kExitUsage) << (line.empty() ? "(nothing)" : line[0]);
        EXPECT_NE(err.str().find("Usage:"), std::string::npos);
    }
    EXPECT_TRUE(sim::transcript().empty());
}

TEST_F(Cli, HelpAndVersionNeedNoUnit) {
    language = Language::german;
    EXPECT_EQ(run({"--help"}), kExitOk);
    EXPECT_TRUE(says("Rückgabewerte"));
    out.str("");
    EXPECT_EQ(run({"--version"}), kExitOk);
    EXPECT_EQ(out.str(), "terval-updater-cli 1.0\nBELMARODA TERVAL 160 LX FW Updater 1.0 "
                         "Bootloaderupdater\n");
    EXPECT_TRUE(sim::transcript().empty());
}

struct LocaleCase {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Language expected;
};

TEST(Locale, TheFirstSetVariableDecides) {
    const LocaleCase cases[] = {
        {nullptr, nullptr, nullptr, Language::english},
        {nullptr, nullptr, "de_DE.UTF-8", Language::german},
        {nullptr, nullptr, "de_AT.UTF-8", Language::german},
        {"", "", "de_CH", Language::german},
        {"en_US.UTF-8", nullptr, "de_DE.UTF-8", Language::english},
        {nullptr, "de_LU.UTF-8", "en_GB.UTF-8", Language::german},
        {"C", nullptr, "de_DE.UTF-8", Language::english},
        {nullptr, nullptr, "fr_FR.UTF-8", Language::english},
        {nullptr, nullptr, "d", Language::english},
    };
    for (const LocaleCase& c : cases) {
        EXPECT_EQ(languageFromLocale(c.lcAll, c.lcMessages, c.lang), c.expected)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

}  // namespace
