// The command-line program against the simulated unit, in virtual time: what it prints, what it
// sends and how it ends, for each state and each way an update can go.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <mutex>
#include <chrono>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "flash/firmware_image.h"
#include "linux/cli.h"
#include "linux/cli_arguments.h"
#include "linux/cli_output.h"
#include "linux/cli_texts.h"
#include "sim/sim_hid.h"
#include "sim/bench.h"
#include "sim/bench_setup.h"
#include "test_image.h"
#include "engine/text_ids.h"

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

// A stream's buffer that takes everything until it is told to fail, then refuses every write.
class FailingOutput : public std::stringbuf {
public:
    bool failing = false;

protected:
    int_type overflow(int_type c) override {
        return failing ? traits_type::eof() : std::stringbuf::overflow(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        return failing ? 0 : std::stringbuf::xsputn(text, count);
    }
};

// Where the signal handler writes its notice: a pipe, read without waiting.
class NoticePipe {
public:
    NoticePipe() { EXPECT_EQ(pipe2(fds_, O_NONBLOCK | O_CLOEXEC), 0); }
    ~NoticePipe() {
        close(fds_[0]);
        close(fds_[1]);
    }
    int writeEnd() const { return fds_[1]; }
    // What was written since the last call.
    std::string take() {
        std::string taken;
        char chunk[4096];
        ssize_t got;
        while ((got = read(fds_[0], chunk, sizeof chunk)) > 0) taken.append(chunk, got);
        return taken;
    }

private:
    int fds_[2] = {-1, -1};
};

// The disposition of a signal: SIG_DFL, SIG_IGN or a handler.
sighandler_t dispositionOf(int signalNumber) {
    struct sigaction now {};
    sigaction(signalNumber, nullptr, &now);
    return now.sa_handler;
}

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
        setup.imageSize = firmwareImage().size;
        EXPECT_TRUE(sim::parseUnitSetup(words, &setup)) << words;
        return setup.pluggedIn ? sim::plugIn(sim::unitFor(setup)) : 0;
    }

    int run(std::vector<std::string> arguments, const std::string& answers = "",
            std::function<void()> onFirstRead = nullptr) {
        ActingInput input(answers, std::move(onFirstRead));
        std::istream in(&input);
        std::ostream outStream(&out);
        std::ostream errStream(&err);
        CliIo io{in,       outStream,         errStream,  barColumns,      notices.writeEnd(),
                 language, acceptPlaceholder, runUpdates, {backend, clock}};
        return runCli(arguments, io);
    }

    std::string text(std::uint16_t id) const { return catalogueUtf8(id, language); }
    bool says(const std::string& part) const { return out.str().find(part) != std::string::npos; }
    bool asks(const std::string& part) const { return err.str().find(part) != std::string::npos; }
    // What err holds from the progress's first line on.
    std::string progress() const {
        const std::string all = err.str();
        const std::size_t first = std::min(all.find('\r'), all.find("10 %"));
        return first == std::string::npos ? "" : all.substr(first);
    }

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

    FailingOutput out;
    FailingOutput err;
    NoticePipe notices;
    std::function<int()> barColumns;  // empty: no terminal
    Language language = Language::english;
    bool acceptPlaceholder = true;  // the unit is simulated
    sim::BenchBackend backend;
    sim::BenchClock clock;
    // The units' writings one after the other: the bench's virtual clock is one for all.
    std::function<void(const std::vector<std::function<void()>>&)> runUpdates =
        [](const std::vector<std::function<void()>>& writings) {
            for (const auto& writing : writings) writing();
        };
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
    const bool ready = c.status == kTextReady;
    EXPECT_TRUE(says(ready ? readyText(c.language, true) : text(c.status))) << out.str();
    EXPECT_FALSE(ready && says("'Update'")) << "the window's button is no way on from here";
    EXPECT_EQ(says(text(kTextInstructions)), !ready);
    EXPECT_FALSE(sentAnyUpdateCommand());
}

// clang-format off
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
// clang-format on

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
    EXPECT_TRUE(says(readyText(language, false)));
    EXPECT_FALSE(says(catalogueUtf8(kTextRunUpdate, language))) << "the update follows anyway";
    EXPECT_TRUE(says(text(kTextUpdateSucceeded)));
    // The question on err, beside the progress: the output may be a file.
    EXPECT_TRUE(asks(text(kTextWarning) + "\n" + catalogueUtf8(kTextPrompt, language) + "y\n"));
    EXPECT_FALSE(says(text(kTextWarning)));
    EXPECT_FALSE(asks(text(kTextOlderOrSame))) << "0.9 is older than the image";
    // Without a terminal: one line per tenth.
    EXPECT_EQ(progress(), "10 %\n20 %\n30 %\n40 %\n50 %\n60 %\n70 %\n80 %\n90 %\n100 %\n");
}

TEST_F(Cli, OnATerminalTheBarIsRedrawnInPlace) {
    barColumns = [] { return 80; };
    bench("");
    EXPECT_EQ(run({"update", "--yes"}), kExitOk);
    const std::string bar = progress();
    EXPECT_EQ(bar.find("\r  0 % [........................................] -:--\x1b[K"), 0u)
        << bar.substr(0, 80);
    EXPECT_NE(bar.find("\r100 % [########################################] 0:00\x1b[K"),
              std::string::npos);
    EXPECT_EQ(bar.back(), '\n');
    EXPECT_EQ(std::count(bar.begin(), bar.end(), '\n'), 1);
}

// In the program's threads the bar is drawn by one thread while another writes the unit: whatever
// frames it leaves out, it ends with the last state and its line feed.
TEST_F(Cli, InTheProgramsThreadsTheBarEndsWithTheLastState) {
    runUpdates = nullptr;
    barColumns = [] { return 80; };
    bench("");
    EXPECT_EQ(run({"update", "--yes"}), kExitOk);
    const std::vector<std::uint8_t> sent = commandsSent();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x1B), 1880);
    const std::string bar = progress();
    const std::string last = "\r100 % [" + std::string(40, '#') + "] 0:00\x1b[K\n";
    ASSERT_GE(bar.size(), last.size()) << bar;
    EXPECT_EQ(bar.substr(bar.size() - last.size()), last) << bar.substr(0, 200);
    EXPECT_EQ(std::count(bar.begin(), bar.end(), '\n'), 1);
    EXPECT_TRUE(says(text(kTextUpdateSucceeded)));
}

// Each line of the bar fits the width that the terminal has when it is drawn, as the terminal is
// narrowed during the update: the bar narrows with it, is left out where it would say too little,
// and the line is cut on a terminal narrower still.
TEST_F(Cli, TheBarFitsTheTerminalAsItIsResized) {
    struct Width {
        std::uint32_t fromPercent;
        int columns;
        std::uint32_t percent;  // a line drawn at this width
        const char* drawn;      // how it starts
    };
    const Width widths[] = {
        {0, 120, 10, " 10 % [####....................................] "},
        {20, 54, 30, " 30 % [############............................] "},
        {40, 40, 50, " 50 % [#############.............] "},
        {60, 24, 70, " 70 % [#######...] "},
        {80, 23, 85, " 85 % 0:"},
        {90, 6, 95, " 95 %"},
    };
    const auto widthAt = [&](std::uint32_t percent) {
        const Width* now = &widths[0];
        for (const Width& width : widths) {
            if (percent >= width.fromPercent) now = &width;
        }
        return *now;
    };
    std::uint32_t draws = 0;
    barColumns = [&] { return widthAt(draws++).columns; };  // one draw for each percent
    bench("");
    EXPECT_EQ(run({"update", "--yes"}), kExitOk);
    std::istringstream lines(progress());
    std::string line;
    std::uint32_t percent = 0;
    std::getline(lines, line, '\r');  // before the first draw
    while (std::getline(lines, line, '\r')) {
        const std::string shown = line.substr(0, line.find("\x1b[K"));
        const Width width = widthAt(percent);
        EXPECT_LT(static_cast<int>(shown.size()), width.columns) << shown;
        if (percent == width.percent) {
            EXPECT_EQ(shown.rfind(width.drawn, 0), 0u) << shown;
        }
        ++percent;
    }
    EXPECT_EQ(percent, 101u);
    EXPECT_EQ(draws, 101u) << "the width is asked before each draw";
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
    EXPECT_TRUE(asks(text(kTextWarning)));
    EXPECT_EQ(asks(text(kTextOlderOrSame)), c.questions == 2);
    EXPECT_FALSE(says(catalogueUtf8(kTextPrompt, c.language)));
    EXPECT_EQ(sentAnyUpdateCommand(), c.exitCode == kExitOk);
    EXPECT_EQ(says(catalogueUtf8(kTextUpdateNotStarted, c.language)), c.exitCode == kExitDeclined);
}

// clang-format off
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
                                 0, 1},
                      // Identified again after the questions, the controller reports 2.0: both
                      // questions are asked anew for it.
                      AnswerCase{"ChangedControllerNoAtTheNewQuestion", "controller-changes",
                                 Language::english, "y\ny\nn\n", 4, 2},
                      AnswerCase{"ChangedControllerYesToAll", "controller-changes",
                                 Language::english, "y\ny\ny\n", 0, 2},
                      // Changed once more after the new questions: not written, as a unit
                      // that is no longer ready.
                      AnswerCase{"FlickeringControllerYesToAll", "controller-flickers",
                                 Language::english, "y\ny\ny\n", kExitNotReady, 2}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// --yes answers every question, so a controller that reads otherwise on every identification
// would be asked about for ever: after its second change it is left alone, not ready, without an
// error-code line.
TEST_F(Cli, YesEndsAtAControllerThatKeepsChanging) {
    bench("controller-flickers");
    EXPECT_EQ(run({"update", "--yes"}), kExitNotReady);
    EXPECT_FALSE(sentAnyUpdateCommand());
    EXPECT_TRUE(says(text(kTextLockFailed))) << out.str();
    EXPECT_FALSE(says("0x")) << out.str();
}

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

// The log of a failed update is named after the failure text: the default folder's file, or the
// one --log names. One that cannot be written is said to be lost, once (after the failure text,
// or on err at the end of a run that succeeded), and the update and its exit code stay as they
// are.
TEST_F(Cli, AFailedUpdateNamesItsLogOrSaysItIsLost) {
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string stateBefore = state != nullptr ? state : "";
    const std::string folder = ::testing::TempDir() + "cli-log-state";
    setenv("XDG_STATE_HOME", folder.c_str(), 1);
    const std::string named = ::testing::TempDir() + "cli-named.log";
    const std::string unwritable = ::testing::TempDir() + "no-such-folder/x.log";
    const std::string lost = text(kTextLogNotWritten) + "\n";
    const struct {
        const char* bench;
        std::vector<std::string> logArguments;
        int exitCode;
        std::string logFile;  // named after the failure; empty: none
        bool lostOnOut;       // the loss is said after the failure text
        bool lostOnErr;       // the loss is said at the end
    } cases[] = {
        {"erase-refused", {}, kExitUpdateFailed, folder + "/terval-updater/", false, false},
        {"erase-refused", {"--log", named}, kExitUpdateFailed, named, false, false},
        {"erase-refused", {"--log", unwritable}, kExitUpdateFailed, "", true, false},
        {"", {"--log", unwritable}, kExitOk, "", false, true},
    };
    std::vector<std::string> transcripts;
    for (const auto& c : cases) {
        sim::reset();
        bench(c.bench);
        out.str("");
        err.str("");
        std::vector<std::string> arguments = {"update", "--yes"};
        arguments.insert(arguments.end(), c.logArguments.begin(), c.logArguments.end());
        EXPECT_EQ(run(arguments), c.exitCode);
        const std::string said = out.str();
        const std::size_t at = said.find("The log of this run: ");
        if (c.logFile.empty()) {
            EXPECT_EQ(at, std::string::npos) << said;
        } else {
            ASSERT_NE(at, std::string::npos) << said;
            EXPECT_GT(at, said.find(text(kTextUpdateFailedHint))) << "after the failure text";
            EXPECT_EQ(said.substr(at + 21, c.logFile.size()), c.logFile);
        }
        EXPECT_EQ(said.find(lost) != std::string::npos, c.lostOnOut) << said;
        if (c.lostOnOut) {
            EXPECT_GT(said.find(lost), said.find(text(kTextUpdateFailedHint)));
        }
        EXPECT_EQ(err.str().find(lost) != std::string::npos, c.lostOnErr) << err.str();
        transcripts.push_back(sim::transcriptText());
    }
    EXPECT_EQ(transcripts[2], transcripts[0]) << "the same reports at the same times";
    if (stateBefore.empty()) {
        unsetenv("XDG_STATE_HOME");
    } else {
        setenv("XDG_STATE_HOME", stateBefore.c_str(), 1);
    }
}

// The unit is checked again right before the first command: one swapped while the question was
// on the terminal is not written; the report has no error-code line.
TEST_F(Cli, AUnitSwappedWhileAskingIsNotWritten) {
    const unsigned first = bench("");
    const int code = run({"update"}, "y\n", [&] {
        sim::unplug(first);
        bench("linkwave silent-controller");
    });
    EXPECT_EQ(code, kExitNotReady);
    EXPECT_FALSE(sentAnyUpdateCommand());
    EXPECT_TRUE(says(text(kTextLockFailed) + "\n\n" + text(kTextUpdateFailedHint)));
    EXPECT_FALSE(says("0x"));
}

// The unit sends a report that nobody asked for right after it answers block 10. It is found
// waiting before block 11, which is not sent: the reply taken for block 10 may have been it. The
// update ends with the block's failure, the cause in the code line, and the hint to run it again.
TEST_F(Cli, AReportNobodyAskedForEndsTheUpdateBeforeTheNextBlock) {
    bench("stray-report");
    EXPECT_EQ(run({"update", "--yes"}), kExitUpdateFailed);
    EXPECT_TRUE(says(
        text(kTextBlockFailed) + "\n" +
        errorCodeLine(language, static_cast<std::uint32_t>(kWriteFailed), kErrorReportWaiting) +
        "\n"))
        << out.str();
    EXPECT_TRUE(says(text(kTextUpdateFailedHint)));
    EXPECT_FALSE(says(text(kTextUpdateSucceeded)));
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
    EXPECT_TRUE(says(catalogueUtf8(kTextWaitingForUnit, language)));
    EXPECT_EQ(out.str().find(catalogueUtf8(kTextWaitingForUnit, language)),
              out.str().rfind(catalogueUtf8(kTextWaitingForUnit, language)))
        << "said once";
    EXPECT_TRUE(says(text(kTextUpdateSucceeded)));
}

TEST_F(Cli, WithoutWaitNoUnitEndsAtOnce) {
    EXPECT_EQ(run({"update", "--yes"}), kExitNoUnit);
    EXPECT_TRUE(says(text(kTextNoUnit)));
}

// From the lock to its release, Ctrl-C, Ctrl-\\, kill and a hang-up are held: the first is said at
// once, also in the erase's pause, and the update goes on to its end and its exit code. Ctrl-Z
// and a broken pipe are ignored meanwhile; before and after, every signal acts as usual.
TEST_F(Cli, SignalsDuringTheWritingAreHeldAndTheUpdateFinishes) {
    bench("");
    const int held[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    const int ignored[] = {SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE};
    std::string saidAtTheErase;
    int blocks = 0;
    sim::setWhileWaiting([&](std::uint32_t ms) {
        if (ms == 4000) {
            raise(SIGINT);
            saidAtTheErase = notices.take();
        }
        if (ms == 20 && commandsSent().back() == 0x1B && ++blocks == 100) {
            for (int signalNumber : held) raise(signalNumber);
            for (int signalNumber : ignored) {
                EXPECT_EQ(dispositionOf(signalNumber), SIG_IGN) << signalNumber;
            }
            raise(SIGPIPE);
        }
    });
    const int code = run({"update"}, "y\n", [&] {
        for (int signalNumber : held) EXPECT_EQ(dispositionOf(signalNumber), SIG_DFL);
    });
    EXPECT_EQ(code, kExitOk);
    EXPECT_EQ(saidAtTheErase, text(kTextUpdateInProgress) + "\n") << "said at once";
    EXPECT_EQ(notices.take(), "") << "said once";
    EXPECT_EQ(blocks, 1880);
    EXPECT_EQ(commandsSent().back(), 0x0B) << "the lock released at the end";
    EXPECT_TRUE(says(text(kTextUpdateSucceeded)));
    for (int signalNumber : held) EXPECT_EQ(dispositionOf(signalNumber), SIG_DFL);
    for (int signalNumber : ignored) EXPECT_EQ(dispositionOf(signalNumber), SIG_DFL);
}

// A failure ends the writing as the release of the lock does: the signals act as usual again, and
// the exit code is the failure's.
TEST_F(Cli, AHeldSignalLeavesAFailedUpdateItsExitCode) {
    bench("block-refused");
    sim::setWhileWaiting([&](std::uint32_t ms) {
        if (ms == 4000) raise(SIGTERM);
    });
    EXPECT_EQ(run({"update", "--yes"}), kExitUpdateFailed);
    EXPECT_EQ(notices.take(), text(kTextUpdateInProgress) + "\n");
    EXPECT_TRUE(says(text(kTextBlockFailed)));
    EXPECT_EQ(dispositionOf(SIGTERM), SIG_DFL);
}

// Below a bar drawn in place, the notice starts a line of its own.
TEST_F(Cli, TheNoticeBelowTheBarStartsALineOfItsOwn) {
    barColumns = [] { return 80; };
    bench("");
    sim::setWhileWaiting([&](std::uint32_t ms) {
        if (ms == 4000) raise(SIGTERM);
    });
    EXPECT_EQ(run({"update", "--yes"}), kExitOk);
    EXPECT_EQ(notices.take(), "\n" + text(kTextUpdateInProgress) + "\n");
}

// A signal ignored when the program started (nohup) stays ignored while it writes.
TEST_F(Cli, ASignalIgnoredFromTheStartStaysIgnored) {
    signal(SIGHUP, SIG_IGN);
    bench("");
    sim::setWhileWaiting([&](std::uint32_t ms) {
        if (ms == 4000) raise(SIGHUP);
    });
    EXPECT_EQ(run({"update", "--yes"}), kExitOk);
    EXPECT_EQ(notices.take(), "");
    EXPECT_EQ(dispositionOf(SIGHUP), SIG_IGN);
    signal(SIGHUP, SIG_DFL);
}

// An output that fails during the writing stops nothing, and the update's outcome decides the exit
// code; before the writing, or without one, a standard output that fails ends the program with 1
// and a message.
struct FailedOutputCase {
    const char* name;
    std::vector<std::string> arguments;
    bool outFails;      // else err
    bool fromTheStart;  // else from the first block on
    int exitCode;
    bool updated;
    bool toldOnErr;
};

class FailedOutput : public Cli, public ::testing::WithParamInterface<FailedOutputCase> {};

TEST_P(FailedOutput, NeverStopsTheWritingOnceItBegan) {
    const FailedOutputCase& c = GetParam();
    barColumns = [] { return 80; };
    FailingOutput& failing = c.outFails ? out : err;
    failing.failing = c.fromTheStart;
    int drawsAfterTheFailure = 0;
    const std::function<int()> columns = barColumns;
    barColumns = [&] {
        if (err.failing) ++drawsAfterTheFailure;
        return columns();
    };
    bench("");
    sim::setWhileWaiting([&](std::uint32_t ms) {
        if (ms == 20 && commandsSent().back() == 0x1B) failing.failing = true;
    });
    EXPECT_EQ(run(c.arguments), c.exitCode);
    const std::vector<std::uint8_t> sent = commandsSent();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x1B), c.updated ? 1880 : 0);
    EXPECT_EQ(!sent.empty() && sent.back() == 0x0B, c.updated) << "the lock released at the end";
    EXPECT_EQ(asks(catalogueUtf8(kTextOutputFailed, language)), c.toldOnErr) << err.str();
    EXPECT_LE(drawsAfterTheFailure, 1) << "the bar stops drawing on a failed stream";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, FailedOutput,
    ::testing::Values(
        FailedOutputCase{"OutDuringTheWriting", {"update", "--yes"}, true, false, kExitOk, true,
                         false},
        FailedOutputCase{"ErrDuringTheWriting", {"update", "--yes"}, false, false, kExitOk, true,
                         false},
        FailedOutputCase{"ErrFromTheStart", {"update", "--yes"}, false, true, kExitOk, true,
                         false},
        FailedOutputCase{"OutBeforeTheWriting", {"update", "--yes"}, true, true,
                         kExitOutputFailed, false, true},
        FailedOutputCase{"OutOfStatus", {"status"}, true, true, kExitOutputFailed, false, true},
        FailedOutputCase{"OutOfHelp", {"--help"}, true, true, kExitOutputFailed, false, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Cli, CommandLinesThatAreNotUnderstoodEndWithTheUsage) {
    // Each line, and the word that the error names.
    const std::vector<std::pair<std::vector<std::string>, std::string>> lines = {
        {{}, "?"},
        {{"bogus"}, "bogus"},
        {{"status", "--yes"}, "--yes"},
        {{"update", "--force"}, "--force"},
        {{"--Help"}, "--Help"},
        {{"status", "--all"}, "--all"},
        {{"update", "--device"}, "--device"},
        {{"update", "--all", "--device", "/dev/hidraw0"}, "--device"},
        {{"update", "--device", "/dev/hidraw0", "--device", "/dev/hidraw0"}, "--device"},
        {{"update", "--device", "", "--yes"}, "--device"},
        {{"update", "--yes", "now"}, "now"},
        {{"status", "-y"}, "-y"},
        {{"update", "-yx"}, "-x"},
        {{"--yes", "update"}, "--yes"},
        {{"update", "--ye"}, "--ye"},
        {{"status", "--log"}, "--log"},
        {{"--log", "a", "status", "--log", "b"}, "--log"},
        {{"status", "--help"}, "--help"}};
    for (const auto& [line, named] : lines) {
        err.str("");
        EXPECT_EQ(run(line), kExitUsage) << (line.empty() ? "(nothing)" : line[0]);
        EXPECT_NE(err.str().find("Usage:"), std::string::npos);
        EXPECT_EQ(err.str().rfind("terval-updater-cli: " + named + "\n", 0), 0u) << err.str();
    }
    EXPECT_TRUE(sim::transcript().empty());
}

// What the command line asks for, wherever its options stand.
TEST(CommandLineTest, ReadsEachOptionWhereverItStands) {
    using Command = CommandLine::Command;
    struct Case {
        std::vector<std::string> arguments;
        Command command;
        std::string logFile;
        std::string device;
        bool all, json, answerYes, wait;
    };
    const Case cases[] = {
        {{"--help", "--bogus"}, Command::help, "", "", false, false, false, false},
        {{"-h"}, Command::help, "", "", false, false, false, false},
        {{"--log", "run.log", "--version"},
         Command::version,
         "run.log",
         "",
         false,
         false,
         false,
         false},
        {{"--log", "run.log", "status", "--json"},
         Command::status,
         "run.log",
         "",
         false,
         true,
         false,
         false},
        {{"status", "--device", "/dev/hidraw1", "--log", "--json"},
         Command::status,
         "--json",
         "/dev/hidraw1",
         false,
         false,
         false,
         false},
        {{"update", "-y", "--wait", "--all", "--yes"},
         Command::update,
         "",
         "",
         true,
         false,
         true,
         true},
        {{"update", "--device=/dev/hidraw2"},
         Command::update,
         "",
         "/dev/hidraw2",
         false,
         false,
         false,
         false},
        {{"update", "--device", "-y"}, Command::update, "", "-y", false, false, false, false},
    };
    for (const Case& c : cases) {
        const CommandLine line = readCommandLine(c.arguments);
        SCOPED_TRACE(c.arguments[0] + " " + (c.arguments.size() > 1 ? c.arguments[1] : ""));
        EXPECT_EQ(line.notUnderstood, "");
        EXPECT_EQ(line.command, c.command);
        EXPECT_EQ(line.logFile, c.logFile);
        EXPECT_EQ(line.device, c.device);
        EXPECT_EQ(line.all, c.all);
        EXPECT_EQ(line.json, c.json);
        EXPECT_EQ(line.answerYes, c.answerYes);
        EXPECT_EQ(line.wait, c.wait);
    }
}

// Several units: the bench list, one unit per entry, on nodes /dev/hidraw0, 1, ... in its order.
class Units : public Cli {
protected:
    void benchList(const std::string& words) {
        sim::UnitSetup entryStart;
        entryStart.imageSize = firmwareImage().size;
        std::vector<sim::UnitSetup> setups;
        ASSERT_TRUE(sim::parseBenchList(words, entryStart, &setups)) << words;
        for (std::size_t k = 0; k < setups.size(); ++k) {
            sim::Device unit = sim::unitFor(setups[k]);
            unit.path = node(k);
            ids.push_back(setups[k].pluggedIn ? sim::plugIn(unit) : 0);
        }
    }
    static std::string node(std::size_t k) { return "/dev/hidraw" + std::to_string(k); }

    // The command codes sent to unit k.
    std::vector<std::uint8_t> sentTo(std::size_t k) const {
        std::vector<std::uint8_t> codes;
        for (const auto& line : sim::transcript()) {
            if (line.out && line.deviceId == ids[k]) codes.push_back(line.bytes[1]);
        }
        return codes;
    }
    // Unit k got a whole update: every block, then protection on and the lock released.
    bool updatedWhole(std::size_t k) const {
        const std::vector<std::uint8_t> sent = sentTo(k);
        return std::count(sent.begin(), sent.end(), 0x1B) == 1880 && sent.size() >= 2 &&
               std::vector<std::uint8_t>(sent.end() - 2, sent.end()) ==
                   std::vector<std::uint8_t>{0x20, 0x0B};
    }
    bool sentUpdateCommandTo(std::size_t k) const {
        for (std::uint8_t code : sentTo(k)) {
            if (code == 0x0B || code == 0x20 || code == 0x1E || code == 0x1F || code == 0x1B) {
                return true;
            }
        }
        return false;
    }
    std::string outcome(std::size_t k, const std::string& model, const std::string& text) const {
        return node(k) + " (" + model + "): " + text + "\n";
    }

    std::vector<unsigned> ids;
};

// status: each unit under its node and model, its rows and its state; then the connection steps
// once, and the command lines that update the ready ones. 0 only when every unit is ready.
TEST_F(Units, StatusListsEachUnitWithItsRowsAndState) {
    benchList("ready,linkwave wrong-mode,linkwave firmware-1.0");
    EXPECT_EQ(run({"status"}), kExitNotReady);
    EXPECT_EQ(out.str().substr(0, out.str().find(text(kTextInstructions))),
              "/dev/hidraw0 (LINK-CUBE)\n"
              "LINK-CUBE:                 1.2\n"
              "ESC-bootloader:            1.5\n"
              "ESC:                       0.9\n"
              "A programming unit was found and is ready to update.\n"
              "\n"
              "/dev/hidraw1 (LINKWAVE)\n"
              "programming unit:        0.0.0\n"
              "ESC-bootloader:          0.0.0\n"
              "ESC:                     0.0.0\n" +
                  text(kTextWrongMode) +
                  "\n"
                  "\n"
                  "/dev/hidraw2 (LINKWAVE)\n"
                  "LINKWAVE:                  1.2\n"
                  "ESC-bootloader:            1.5\n"
                  "ESC:                       1.0\n"
                  "A programming unit was found and is ready to update.\n"
                  "\n");
    const std::string ready = readyText(language, false);
    EXPECT_TRUE(says(text(kTextInstructions) + "\n\n" +
                     catalogueUtf8(kTextRunUpdateOfUnits, language) +
                     "    terval-updater-cli update --device /dev/hidraw0\n"
                     "    terval-updater-cli update --device /dev/hidraw2\n"
                     "    terval-updater-cli update --all\n"
                     "\n" +
                     ready.substr(ready.find("\n\n") + 2) + "\n"))
        << out.str();
    EXPECT_FALSE(sentAnyUpdateCommand());
}

TEST_F(Units, StatusExitsWithTheCodeOfTheFirstUnitThatIsNotReady) {
    const struct {
        const char* bench;
        int exitCode;
    } cases[] = {
        {"ready,linkwave no-firmware", kExitOk},
        {"ready,no-controller,silent-controller", kExitNotReady},
        {"silent-controller,other-type", kExitNoUnit},
    };
    for (const auto& c : cases) {
        sim::reset();
        ids.clear();
        out.str("");
        benchList(c.bench);
        EXPECT_EQ(run({"status"}), c.exitCode) << c.bench;
    }
}

// --json: one array, one object per unit, and nothing else on the output.
TEST_F(Units, StatusAsJson) {
    const struct {
        const char* bench;
        int exitCode;
        const char* json;
    } cases[] = {
        {"ready,linkwave no-controller", kExitNotReady,
         "[\n"
         "  {\"path\": \"/dev/hidraw0\", \"productId\": 2, \"model\": \"LINK-CUBE\", "
         "\"unitFirmware\": \"1.2\", \"escBootloader\": \"1.5\", \"escFirmware\": \"0.9\", "
         "\"state\": \"ready\"},\n"
         "  {\"path\": \"/dev/hidraw1\", \"productId\": 1, \"model\": \"LINKWAVE\", "
         "\"unitFirmware\": \"0.0.0\", \"escBootloader\": \"0.0.0\", \"escFirmware\": \"0.0.0\", "
         "\"state\": \"no-controller\"}\n"
         "]\n"},
        {"linkwave no-firmware", kExitOk,
         "[\n"
         "  {\"path\": \"/dev/hidraw0\", \"productId\": 1, \"model\": \"LINKWAVE\", "
         "\"unitFirmware\": \"1.2\", \"escBootloader\": \"1.5\", \"escFirmware\": \"----------\", "
         "\"state\": \"ready\"}\n"
         "]\n"},
        {"other-type,wrong-mode,silent-controller", kExitNotReady, nullptr},
        {"unplugged", kExitNoUnit, "[]\n"},
    };
    for (const auto& c : cases) {
        sim::reset();
        ids.clear();
        out.str("");
        benchList(c.bench);
        EXPECT_EQ(run({"status", "--json"}), c.exitCode) << c.bench;
        if (c.json != nullptr) {
            EXPECT_EQ(out.str(), c.json) << c.bench;
            continue;
        }
        for (const char* word : {"\"incompatible\"}", "\"wrong-mode\"}", "\"no-answer\"}"}) {
            EXPECT_TRUE(says(word)) << out.str();
        }
    }
}

// Several units and no choice: nothing at all is sent; the command lines that choose each.
TEST_F(Units, AnUpdateWithoutAChoiceSendsNothing) {
    benchList("ready,linkwave,wrong-mode");
    EXPECT_EQ(run({"update", "--yes"}), kExitUsage);
    EXPECT_EQ(out.str(),
              catalogueUtf8(kTextChooseUnit, language) +
                  "    terval-updater-cli update --yes --device /dev/hidraw0  LINK-CUBE\n"
                  "    terval-updater-cli update --yes --device /dev/hidraw1  LINKWAVE\n"
                  "    terval-updater-cli update --yes --device /dev/hidraw2  LINK-CUBE\n"
                  "    terval-updater-cli update --yes --all\n");
    EXPECT_TRUE(sim::transcript().empty());
}

// --device takes that unit alone, as if it were the only one; a path that is no unit's node is a
// usage error that names it.
TEST_F(Units, DeviceTakesThatUnitAlone) {
    benchList("ready,linkwave wrong-mode,ready");
    EXPECT_EQ(run({"status", "--device", "/dev/hidraw1"}), kExitNotReady);
    EXPECT_EQ(out.str().rfind("programming unit:        0.0.0\n", 0), 0u) << out.str();
    EXPECT_FALSE(says("/dev/hidraw"));
    EXPECT_TRUE(sentTo(0).empty());
    EXPECT_TRUE(sentTo(2).empty());

    EXPECT_EQ(run({"update", "--device", "/dev/hidraw2", "--yes"}), kExitOk);
    EXPECT_TRUE(updatedWhole(2));
    EXPECT_TRUE(sentTo(0).empty());

    err.str("");
    EXPECT_EQ(run({"update", "--yes", "--device", "/dev/hidraw7"}), kExitUsage);
    EXPECT_EQ(err.str().rfind("terval-updater-cli: " +
                                  catalogueUtf8(kTextNotAUnitNode, language, "/dev/hidraw7") + "\n",
                              0),
              0u)
        << err.str();
    EXPECT_TRUE(sentTo(0).empty());
}

// The run's log records one unit's session: the one chosen with --device, named after its failure.
// --all gives each unit a log of its own, named after its node, and names the failed unit's.
TEST_F(Units, TheLogRecordsTheChosenUnitAndAllWritesOneForEachUnit) {
    const auto contents = [](const std::string& name) {
        std::ifstream file(name);
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    };
    const std::string logFile = ::testing::TempDir() + "units-cli.log";
    std::remove(logFile.c_str());
    benchList("ready,erase-refused");
    EXPECT_EQ(run({"update", "--yes", "--device", node(1), "--log", logFile}), kExitUpdateFailed);
    EXPECT_TRUE(says(catalogueUtf8(kTextLogWritten, language, logFile))) << out.str();
    const std::string logged = contents(logFile);
    EXPECT_NE(logged.find(" path " + node(1) + "\n"), std::string::npos) << logged;
    EXPECT_EQ(logged.find(" path " + node(0) + "\n"), std::string::npos) << logged;
    std::remove(logFile.c_str());

    out.str("");
    EXPECT_EQ(run({"update", "--all", "--yes", "--log", logFile}), kExitUpdateFailed);
    EXPECT_TRUE(updatedWhole(0));
    EXPECT_FALSE(std::ifstream(logFile).good()) << "each unit's log is its own";
    const std::string unitLogs[] = {::testing::TempDir() + "units-cli-hidraw0.log",
                                    ::testing::TempDir() + "units-cli-hidraw1.log"};
    const char* const outcomes[] = {"outcome: the update succeeded",
                                    "outcome: the update failed at erase"};
    for (std::size_t k = 0; k < 2; ++k) {
        const std::string unitLogged = contents(unitLogs[k]);
        EXPECT_NE(unitLogged.find(" path " + node(k) + "\n"), std::string::npos) << unitLogged;
        EXPECT_EQ(unitLogged.find(" path " + node(1 - k) + "\n"), std::string::npos) << unitLogged;
        EXPECT_NE(unitLogged.find(outcomes[k]), std::string::npos) << unitLogged;
        std::remove(unitLogs[k].c_str());
    }
    EXPECT_TRUE(
        says(node(1) + " (LINK-CUBE): " + catalogueUtf8(kTextLogWritten, language, unitLogs[1])))
        << out.str();
    EXPECT_FALSE(says(unitLogs[0])) << "a success names no log";
}

// Without --log, each unit's log goes to the state folder under a name that ends in its node.
TEST_F(Units, AllWritesEachUnitsLogToTheFolderNamedAfterItsNode) {
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string stateBefore = state != nullptr ? state : "";
    const std::string folder = ::testing::TempDir() + "units-log-state";
    std::filesystem::remove_all(folder);
    setenv("XDG_STATE_HOME", folder.c_str(), 1);
    benchList("ready,ready");
    EXPECT_EQ(run({"update", "--all", "--yes"}), kExitOk);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder + "/terval-updater")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].substr(names[0].size() - 12), "-hidraw0.log") << names[0];
    EXPECT_EQ(names[1].substr(names[1].size() - 12), "-hidraw1.log") << names[1];
    if (stateBefore.empty()) {
        unsetenv("XDG_STATE_HOME");
    } else {
        setenv("XDG_STATE_HOME", stateBefore.c_str(), 1);
    }
}

// --all: the ready units written; one whose erase is refused fails alone. Each unit's progress
// lines name it; the end tells each unit's outcome, one line each.
TEST_F(Units, AllUpdatesEveryReadyUnitAndARefusalFailsAlone) {
    benchList("ready,erase-refused,linkwave,no-controller");
    EXPECT_EQ(run({"update", "--all", "--yes"}), kExitUpdateFailed);
    EXPECT_TRUE(updatedWhole(0));
    EXPECT_TRUE(updatedWhole(2));
    EXPECT_EQ(sentTo(1).back(), 0x1E) << "nothing after the refused erase";
    EXPECT_FALSE(sentUpdateCommandTo(3));
    EXPECT_TRUE(says("\n" + outcome(0, "LINK-CUBE", text(kTextUpdateSucceeded)) +
                     outcome(1, "LINK-CUBE",
                             text(kTextEraseFailed) + " " +
                                 errorCodeLine(language, sim::kRefusedHardwareFault, 0)) +
                     outcome(2, "LINKWAVE", text(kTextUpdateSucceeded)) +
                     outcome(3, "LINK-CUBE", catalogueUtf8(kTextNotReadyLeftAlone, language)) +
                     "\n" + text(kTextUpdateFailedHint) + "\n"))
        << out.str();
    const std::string asked = err.str();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), '%'), 20) << "ten lines for each written unit";
    for (const std::size_t k : {0, 2}) {
        std::string tenths;
        for (int tenth = 10; tenth <= 100; tenth += 10) {
            tenths += node(k) + ": " + std::to_string(tenth) + " %\n";
        }
        EXPECT_TRUE(asks(tenths)) << err.str();
    }
}

// A controller that keeps changing is left alone after its second change; the others are
// written.
TEST_F(Units, AllYesLeavesAControllerThatKeepsChangingAlone) {
    benchList("ready,controller-flickers");
    EXPECT_EQ(run({"update", "--all", "--yes"}), kExitUpdateFailed);
    EXPECT_TRUE(updatedWhole(0));
    EXPECT_FALSE(sentUpdateCommandTo(1));
    EXPECT_TRUE(says(outcome(1, "LINK-CUBE", text(kTextLockFailed)))) << out.str();
}

// The same, in the program's threads: the updates side by side, each whole. Each writing, once
// past its first block, waits (at most 10 s in all) until every unit written has sent one: run
// side by side they all get there, and every unit's blocks have begun before any unit's have
// ended; run one after the other, the first would wait in vain and finish alone.
TEST_F(Units, AllRunsTheUpdatesInThreadsOfTheirOwn) {
    runUpdates = nullptr;
    benchList("ready,erase-refused,linkwave,ready");
    const std::size_t written[] = {0, 2, 3};
    const auto blocksBegun = [&] {
        const std::lock_guard<std::mutex> hold(sim::benchMutex());
        return std::all_of(std::begin(written), std::end(written), [&](std::size_t k) {
            const std::vector<std::uint8_t> sent = sentTo(k);
            return std::count(sent.begin(), sent.end(), 0x1B) > 0;
        });
    };
    std::atomic<bool> allBegun{false};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    sim::setWhileWaiting([&](std::uint32_t ms) {
        // The pauses of a writing from its erase on: 4000 ms after the erase, 20 ms before the
        // address, 20 ms before the blocks, then 20 ms after each block.
        thread_local int pausesAfterErase = -1;
        if (ms == 4000) pausesAfterErase = 0;
        if (ms != 20 || pausesAfterErase < 0 || ++pausesAfterErase < 3) return;
        while (!allBegun && std::chrono::steady_clock::now() < deadline) {
            if (blocksBegun()) {
                allBegun = true;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });
    EXPECT_EQ(run({"update", "--all", "--yes"}), kExitUpdateFailed);
    sim::setWhileWaiting(nullptr);
    EXPECT_TRUE(allBegun) << "the writings never had their blocks under way at once";
    std::size_t lastFirstBlock = 0;
    std::size_t firstLastBlock = sim::transcript().size();
    for (const std::size_t k : written) {
        std::size_t first = sim::transcript().size();
        std::size_t last = 0;
        for (std::size_t i = 0; i < sim::transcript().size(); ++i) {
            const sim::TranscriptLine& line = sim::transcript()[i];
            if (!line.out || line.deviceId != ids[k] || line.bytes[1] != 0x1B) continue;
            first = std::min(first, i);
            last = i;
        }
        lastFirstBlock = std::max(lastFirstBlock, first);
        firstLastBlock = std::min(firstLastBlock, last);
    }
    EXPECT_LT(lastFirstBlock, firstLastBlock) << "every unit's blocks begun before any ended";
    for (const std::size_t k : written) EXPECT_TRUE(updatedWhole(k)) << k;
    EXPECT_EQ(sentTo(1).back(), 0x1E);
    EXPECT_TRUE(says(outcome(3, "LINK-CUBE", text(kTextUpdateSucceeded)))) << out.str();
}

// A unit pulled during its blocks fails alone, with the block's failure; the others finish.
TEST_F(Units, AUnitPulledDuringItsBlocksFailsAlone) {
    benchList("ready,ready,ready");
    sim::setWhileWaiting([&](std::uint32_t ms) {
        const std::vector<std::uint8_t> sent = sentTo(1);
        if (ms == 20 && std::count(sent.begin(), sent.end(), 0x1B) == 100) sim::unplug(ids[1]);
    });
    EXPECT_EQ(run({"update", "--all", "--yes"}), kExitUpdateFailed);
    EXPECT_TRUE(updatedWhole(0));
    EXPECT_TRUE(updatedWhole(2));
    EXPECT_TRUE(says(outcome(1, "LINK-CUBE",
                             text(kTextBlockFailed) + " " +
                                 errorCodeLine(language, static_cast<std::uint32_t>(-2),
                                               sim::kErrorDeviceNotConnected))))
        << out.str();
}

// The questions of --all: the warning once for every unit, the older-or-same question for each
// unit that needs it, named; a unit answered no is left alone. A controller that changed behind
// the questions is asked about anew, named.
struct UnitsAnswerCase {
    const char* name;
    const char* bench;
    std::string answers;
    int exitCode;
    int warnings;
    std::vector<std::size_t> askedOlderOrSame;  // the units, in the order asked
    std::vector<bool> updated;
};

class UnitsAnswers : public Units, public ::testing::WithParamInterface<UnitsAnswerCase> {};

TEST_P(UnitsAnswers, DecideWhichUnitsAreWritten) {
    const UnitsAnswerCase& c = GetParam();
    benchList(c.bench);
    EXPECT_EQ(run({"update", "--all"}, c.answers), c.exitCode);
    const std::string asked = err.str();
    std::size_t warnings = 0;
    for (std::size_t at = asked.find(text(kTextWarning)); at != std::string::npos;
         at = asked.find(text(kTextWarning), at + 1)) {
        ++warnings;
    }
    EXPECT_EQ(warnings, static_cast<std::size_t>(c.warnings));
    // Each older-or-same question, on the line after its unit's name.
    const std::string question =
        ":\n" + text(kTextOlderOrSameCaption) + "\n" + text(kTextOlderOrSame);
    std::vector<std::string> named;
    for (std::size_t at = asked.find(question); at != std::string::npos;
         at = asked.find(question, at + 1)) {
        const std::size_t line = asked.rfind('\n', at) + 1;
        named.push_back(asked.substr(line, asked.find(' ', line) - line));
    }
    std::vector<std::string> expected;
    for (const std::size_t k : c.askedOlderOrSame) expected.push_back(node(k));
    EXPECT_EQ(named, expected) << asked;
    for (std::size_t k = 0; k < c.updated.size(); ++k) {
        EXPECT_EQ(updatedWhole(k), c.updated[k]) << k;
        if (!c.updated[k]) {
            EXPECT_FALSE(sentUpdateCommandTo(k)) << k;
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, UnitsAnswers,
    ::testing::Values(
        UnitsAnswerCase{"NoToTheWarningSendsNothing", "ready,firmware-1.0", "n\n", kExitDeclined, 1,
                        {}, {false, false}},
        UnitsAnswerCase{"EachUnitAskedWhatItNeeds", "ready,firmware-1.0,firmware-1.0",
                        "y\ny\nn\n", kExitOk, 1, {1, 2}, {true, true, false}},
        UnitsAnswerCase{"EveryUnitDeclined", "firmware-1.0,linkwave firmware-1.0", "y\nn\nn\n",
                        kExitDeclined, 1, {0, 1}, {false, false}},
        UnitsAnswerCase{"AChangedControllerIsAskedAboutAnew", "ready,controller-changes",
                        "y\ny\ny\n", kExitOk, 2, {1}, {true, true}},
        UnitsAnswerCase{"AChangedControllerDeclinedIsLeftAlone", "ready,controller-changes",
                        "y\ny\nn\n", kExitOk, 2, {1}, {true, false}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// On a terminal: one line per unit, the block redrawn in place; a held signal is said once for
// every unit, below the block, which is then drawn anew beneath it.
TEST_F(Units, OnATerminalEachUnitHasALineRedrawnInPlace) {
    barColumns = [] { return 60; };
    benchList("ready,linkwave");
    sim::setWhileWaiting([&](std::uint32_t ms) {
        if (ms == 4000) raise(SIGINT);
        const std::vector<std::uint8_t> sent = sentTo(1);
        if (ms == 20 && std::count(sent.begin(), sent.end(), 0x1B) == 500) raise(SIGTERM);
    });
    EXPECT_EQ(run({"update", "--all", "--yes"}), kExitOk);
    EXPECT_EQ(notices.take(), text(kTextUpdateInProgress) + "\n") << "said once, for all";
    EXPECT_EQ(dispositionOf(SIGINT), SIG_DFL);
    const std::string bar = progress();
    EXPECT_NE(bar.find("\x1b[2A\r/dev/hidraw0 100 % [" + std::string(33, '#') +
                       "] 0:00\x1b[K\n\r/dev/hidraw1   0 % ["),
              std::string::npos)
        << bar.substr(0, 400);
    EXPECT_NE(bar.find("\r/dev/hidraw1 100 % ["), std::string::npos);
    std::istringstream lines(bar);
    std::string line;
    while (std::getline(lines, line, '\r')) {
        EXPECT_LT(line.substr(0, line.find("\x1b[K")).size(), 60u) << line;
    }
}

TEST_F(Cli, HelpAndVersionNeedNoUnit) {
    language = Language::german;
    EXPECT_EQ(run({"--help"}), kExitOk);
    EXPECT_TRUE(says("Rückgabewerte"));
    out.str("");
    EXPECT_EQ(run({"--version"}), kExitOk);
    EXPECT_EQ(out.str(),
              "terval-updater-cli 1.0\nBELMARODA TERVAL 160 LX FW Updater 1.0 "
              "Bootloaderupdater\n");
    EXPECT_TRUE(sim::transcript().empty());
}

// The ready text on a terminal: the window's sentence about its button gives way to the command.
TEST(ReadyText, NamesTheCommandInPlaceOfTheButton) {
    const struct {
        Language language;
        const char* start;
    } cases[] = {
        {Language::english,
         "A programming unit was found and is ready to update.\n"
         "To update the ESC firmware, run: terval-updater-cli update\n\n!!!  NOTE: "},
        {Language::german,
         "Programmiereinheit mit angeschlossenem Regler am USB Bus erkannt und bereit zum Update.\n"
         "Um die Regler-Firmware zu aktualisieren, führen Sie aus: terval-updater-cli update\n\n"
         "!!! Bitte "},
    };
    for (const auto& c : cases) {
        const std::string window = catalogueUtf8(kTextReady, c.language);
        const std::string note = window.substr(window.find("\n\n"));
        const std::string told = readyText(c.language, true);
        EXPECT_EQ(told.substr(0, std::string(c.start).size()), c.start);
        EXPECT_EQ(told.substr(told.find("\n\n")), note);
        const std::string withoutCommand = readyText(c.language, false);
        EXPECT_EQ(withoutCommand, told.substr(0, told.find('\n')) + note);
    }
}

// The texts in the locale's character set: what it cannot hold, and what is no UTF-8, as '?'.
TEST(LocaleCharset, TheLocalesCharsetHoldsTheTexts) {
    const struct {
        const char* locale;
        std::string text;
        std::string written;
    } cases[] = {
        {"C.UTF-8", "Größe ™ \xf0\x9f\x98\x80", "Größe ™ \xf0\x9f\x98\x80"},
        {"C", "Größe ™", "Gr??e ?"},
        {"C.UTF-8",
         "a\xff"
         "b",
         "a?b"},                       // no UTF-8 lead
        {"C.UTF-8", "ab\xc3", "ab?"},  // cut short
        {"C.UTF-8",
         "\xc3"
         "a",
         "?a"},                                        // a lead without its continuation
        {"C.UTF-8", "\xc0\xaf\xe0\x80\xaf", "?????"},  // overlong
        {"C.UTF-8", "\xed\xa0\x80", "???"},            // a surrogate
        {"C.UTF-8", "\xf4\x90\x80\x80", "????"},       // beyond U+10FFFF
    };
    for (const auto& c : cases) {
        const locale_t locale = newlocale(LC_ALL_MASK, c.locale, nullptr);
        ASSERT_NE(locale, nullptr) << c.locale;
        const locale_t before = uselocale(locale);
        EXPECT_EQ(inLocaleCharset(c.text), c.written) << c.locale << " " << c.text;
        uselocale(before);
        freelocale(locale);
    }
}

// Where the locale named is not installed, the character set that its name carries, taken from the
// variable that decides LC_CTYPE: LC_ALL, then LC_CTYPE, then LANG.
TEST(LocaleCharset, ALocaleNotInstalledKeepsTheCharsetOfItsName) {
    const struct {
        const char* lcAll;
        const char* lcCtype;
        const char* lang;
        const char* charset;
    } cases[] = {
        {nullptr, nullptr, "de_XX.UTF-8", "UTF-8"},
        {nullptr, nullptr, "en_XX.utf8", "utf8"},
        {nullptr, nullptr, "de_XX.ISO-8859-1", "ISO-8859-1"},
        {nullptr, nullptr, "de_XX.UTF-8@euro", "UTF-8"},
        {nullptr, nullptr, "de_XX@euro", "ISO-8859-15"},
        {nullptr, nullptr, "de_XX@latin", ""},
        {nullptr, nullptr, "de_XX", ""},
        {nullptr, nullptr, "C", ""},
        {nullptr, nullptr, "POSIX", ""},
        {nullptr, nullptr, "C.UTF-8", "UTF-8"},
        {nullptr, nullptr, nullptr, ""},
        {"", "", "de_XX.ISO-8859-1", "ISO-8859-1"},
        {"C", nullptr, "de_XX.UTF-8", ""},
        {"de_XX.UTF-8", "C", "C", "UTF-8"},
        {nullptr, "en_XX.UTF-8", "de_XX.ISO-8859-1", "UTF-8"},
        {nullptr, "de_XX", "de_XX.UTF-8", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(charsetNamedByLocale(c.lcAll, c.lcCtype, c.lang), c.charset)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcCtype ? c.lcCtype : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

// The texts written in the character set named, whatever the locale; one that iconv does not know
// changes nothing.
TEST(LocaleCharset, TheNamedCharsetIsWrittenWhateverTheLocale) {
    const locale_t ascii = newlocale(LC_ALL_MASK, "C", nullptr);
    const locale_t before = uselocale(ascii);
    const struct {
        const char* charset;
        bool known;
        std::string written;
    } cases[] = {
        {"UTF-8", true, "Größe ™ a?b"},
        {"utf8", true, "Größe ™ a?b"},
        {"ISO-8859-1", true,
         "Gr\xf6\xdf"
         "e ? a?b"},
        {"iso88591", true,
         "Gr\xf6\xdf"
         "e ? a?b"},
        {"ISO-8859-15", true,
         "Gr\xf6\xdf"
         "e ? a?b"},
        {"NO-SUCH-CHARSET", false, "Gr??e ? a?b"},
        {"", true, "Gr??e ? a?b"},  // the locale's: ASCII
    };
    for (const auto& c : cases) {
        EXPECT_EQ(writeTextsIn(c.charset), c.known) << c.charset;
        EXPECT_EQ(inLocaleCharset("Größe ™ a\xff"
                                  "b"),
                  c.written)
            << c.charset;
        writeTextsIn("");
    }
    uselocale(before);
    freelocale(ascii);
}

// Standard output and error: written in the locale's character set on each flush; after a failed
// write the stream stays failed.
TEST(DescriptorOutputTest, WritesConvertedAndFailsForGood) {
    const locale_t ascii = newlocale(LC_ALL_MASK, "C", nullptr);
    const locale_t before = uselocale(ascii);
    NoticePipe pipe;
    {
        DescriptorOutput buffer(pipe.writeEnd());
        std::ostream out(&buffer);
        out << "Grüße, ";
        EXPECT_EQ(pipe.take(), "") << "nothing before the flush";
        out << "Regler" << std::flush;
        EXPECT_TRUE(out);
        EXPECT_EQ(pipe.take(), "Gr??e, Regler");
    }
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    DescriptorOutput buffer(full);
    std::ostream out(&buffer);
    out << "x" << std::flush;
    EXPECT_FALSE(out);
    out.clear();
    out << "y" << std::flush;
    EXPECT_FALSE(out) << "failed for good";
    close(full);
    uselocale(before);
    freelocale(ascii);
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
