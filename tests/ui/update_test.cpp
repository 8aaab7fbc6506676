// The update, whole, in virtual time against the simulated unit and controller.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <numeric>
#include <sstream>

#include "device/session_log.h"
#include "flash/firmware_image.h"
#include "ui/update.h"
#include "ui/device_presence.h"
#include "sim/bench_state.h"
#include "sim/sim_fixture.h"
#include "test_image.h"
#include "ui/ui_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The image carried here is the tests' own (test_image.h).
constexpr std::size_t kBlocks = test_image::kBlocks;
constexpr std::uint64_t kFixedWaitsMs = 5080;

std::wstring hex8(std::uint32_t value) {
    std::wostringstream text;
    text << L"0x" << std::hex << std::setw(8) << std::setfill(L'0') << value;
    return text.str();
}

// The error box's text as the user reads it.
std::wstring failureText(std::uint16_t textId, ResultCode result, std::uint32_t error) {
    std::wstring line = fake::text(kTextErrorCodeLine);
    line.replace(line.find(L"0x%08x"), 6, hex8(static_cast<std::uint32_t>(result)));
    line.replace(line.find(L"0x%08x"), 6, hex8(error));
    return fake::text(textId) + L"\r\n" + line;
}

// An image with the digest of its own bytes, as the build stores it for the image it carries.
FirmwareImage withOwnDigest(const std::uint8_t* bytes, std::size_t size) {
    static Sha256Digest digest;
    digest = sha256(bytes, size);
    return {bytes, size, &digest};
}

// Images other than the carried one, for the block arithmetic's edge cases.
Bytes wholeBlocksImage(96);
FirmwareImage twoWholeBlocks() { return withOwnDigest(wholeBlocksImage.data(), 96); }
FirmwareImage noImage() { return withOwnDigest(nullptr, 0); }
FirmwareImage emptyImage() { return withOwnDigest(wholeBlocksImage.data(), 0); }
FirmwareImage oddImage() { return withOwnDigest(wholeBlocksImage.data(), 94); }

// The carried image damaged by one flipped bit, with the digest that the build stored; and the
// carried image without a digest.
Bytes alteredCopy;
FirmwareImage alteredImage() {
    const FirmwareImage carried = firmwareImage();
    alteredCopy.assign(carried.bytes, carried.bytes + carried.size);
    alteredCopy[alteredCopy.size() / 2] ^= 0x01;
    return {alteredCopy.data(), alteredCopy.size(), carried.expectedDigest};
}
FirmwareImage imageWithoutDigest() { return {firmwareImage().bytes, firmwareImage().size}; }

constexpr unsigned kIdentificationQueries = 3;

class Update : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        acceptPlaceholderImage(true);  // the unit is simulated
        unitId = sim::plugIn(sim::programmingUnit());
        unit().unit.esc.firmwareVersion = 0x0009;
    }
    sim::Device& unit() { return *sim::findDevice(unitId); }

    // Probes, which finds the unit ready, and forgets the probe's traffic and that of the
    // identification that an update runs again after its questions (a status query and the
    // controller's two blocks, one request and one reply each).
    void startReady() {
        runStartupProbe();
        ASSERT_TRUE(fake::isEnabled(kUpdateButton));
        probeLines = sim::transcript().size() + 2 * kIdentificationQueries;
        probeExchanges = sim::exchangeCount() + kIdentificationQueries;
        startMs = sim::now();
        // An error left by an earlier call: a failure report must never show it.
        appSession().lastError = sim::kErrorTimeout;
    }

    std::vector<Bytes> requestsSinceProbe() const {
        std::vector<Bytes> out;
        const auto& lines = sim::transcript();
        for (std::size_t i = probeLines; i < lines.size(); ++i) {
            if (lines[i].out) out.push_back(lines[i].bytes);
        }
        return out;
    }

    std::vector<Bytes> blockRequests() const {
        std::vector<Bytes> blocks;
        for (const Bytes& request : requestsSinceProbe()) {
            if (request[1] == 0x1B) blocks.push_back(request);
        }
        return blocks;
    }

    std::vector<unsigned> progressPositions() const {
        std::vector<unsigned> positions;
        for (const std::string& call : fake::state().windowCalls) {
            if (call.rfind("progress 2 ", 0) == 0) positions.push_back(std::stoul(call.substr(11)));
        }
        return positions;
    }

    Bytes flashPrefix() {
        const sim::Controller& esc = unit().unit.esc;
        return Bytes(esc.flash.begin(), esc.flash.begin() + esc.highestWritten);
    }

    unsigned unitId = 0;
    std::size_t probeLines = 0;
    unsigned probeExchanges = 0;
    std::uint64_t startMs = 0;
};

TEST_F(Update, WithoutASessionReportsTheMissingUnitAndSendsNothing) {
    runUpdate();
    ASSERT_EQ(fake::state().boxes.size(), 1u);
    EXPECT_EQ(fake::state().boxes[0].caption, fake::text(kTextUpdateFailedCaption));
    EXPECT_EQ(fake::state().boxes[0].text, fake::text(kTextUnitNotDetected));
    EXPECT_EQ(fake::state().boxes[0].box, window::Box::error);
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateFailedHint));
    EXPECT_FALSE(fake::isEnabled(kUpdateButton));
    EXPECT_TRUE(sim::transcript().empty());
}

// The confirmations: the warning always, the older-or-same question by the installed version.
struct ConfirmCase {
    const char* name;
    std::uint16_t installed;
    std::vector<window::Answer> answers;
    std::size_t boxes;
    bool proceeds;
};

class Confirmations : public Update, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(Confirmations, DecideWhetherAnythingIsSent) {
    const ConfirmCase& c = GetParam();
    unit().unit.esc.firmwareVersion = c.installed;
    startReady();
    const std::wstring hintBefore = fake::controlText(kHintBox);
    fake::state().answers.assign(c.answers.begin(), c.answers.end());

    runUpdate();

    const auto& boxes = fake::state().boxes;
    ASSERT_GE(boxes.size(), c.boxes);
    EXPECT_EQ(boxes[0].text, fake::text(kTextWarning));
    EXPECT_EQ(boxes[0].caption, fake::text(kTextWarningCaption));
    EXPECT_EQ(boxes[0].box, window::Box::warningOkCancel);
    if (c.boxes == 2) {
        EXPECT_EQ(boxes[1].text, fake::text(kTextOlderOrSame));
        EXPECT_EQ(boxes[1].caption, fake::text(kTextOlderOrSameCaption));
        EXPECT_EQ(boxes[1].box, window::Box::warningYesNo);
    }
    if (c.proceeds) {
        EXPECT_EQ(boxes.size(), c.boxes) << "no failure box";
        EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateSucceeded));
    } else {
        EXPECT_EQ(boxes.size(), c.boxes);
        EXPECT_TRUE(requestsSinceProbe().empty());
        EXPECT_EQ(fake::controlText(kHintBox), hintBefore);
        EXPECT_TRUE(fake::isEnabled(kUpdateButton));
        EXPECT_TRUE(isOpen(appSession()));
        EXPECT_EQ(escFirmwareVersion(appSession()), c.installed);
        EXPECT_TRUE(fake::state().windowCalls.empty());
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Confirmations,
    ::testing::Values(
        ConfirmCase{"CancelAtTheWarning", 0x0009, {window::Answer::cancel}, 1, false},
        ConfirmCase{"NoAtTheQuestion", 0x0100, {window::Answer::ok, window::Answer::no}, 2, false},
        ConfirmCase{"ClosedQuestion", 0x0234, {window::Answer::ok, window::Answer::cancel}, 2,
                    false},
        ConfirmCase{"OlderInstalledNotAsked", 0x00FF, {window::Answer::ok}, 1, true},
        ConfirmCase{"SameInstalledAsked", 0x0100, {window::Answer::ok, window::Answer::yes}, 2,
                    true},
        ConfirmCase{"NewerInstalledAsked", 0x0234, {window::Answer::ok, window::Answer::yes}, 2,
                    true},
        ConfirmCase{"NoFirmwareNotAsked", 0xFFFF, {window::Answer::ok}, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Right after the questions the unit is identified again. A controller that now reports other
// firmware (another one put on the unit behind the box) is asked about anew: the warning, and
// the older-or-same question that its 2.0 calls for. No sends nothing of the update.
TEST_F(Update, AControllerChangedBehindTheBoxIsAskedAboutAgain) {
    unit().unit.laterFirmwareVersion = 0x0200;
    startReady();
    fake::state().answers = {window::Answer::ok, window::Answer::ok, window::Answer::no};

    runUpdate();

    const auto& boxes = fake::state().boxes;
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, fake::text(kTextWarning));
    EXPECT_EQ(boxes[1].text, fake::text(kTextWarning));
    EXPECT_EQ(boxes[2].text, fake::text(kTextOlderOrSame));
    EXPECT_TRUE(requestsSinceProbe().empty()) << "nothing of the update";
    EXPECT_TRUE(isOpen(appSession()));
}

// A controller whose firmware reads otherwise on every identification is asked about anew once;
// found changed again, it is not written: the update ends as for a unit no longer ready, without
// an error-code line, and nothing of the update is sent.
TEST_F(Update, AControllerThatKeepsChangingIsNotWritten) {
    unit().unit.laterFirmwareVersion = 0x0200;
    unit().unit.firmwareAlternates = true;
    startReady();
    fake::state().answers = {window::Answer::ok, window::Answer::ok, window::Answer::yes};

    runUpdate();

    const auto& boxes = fake::state().boxes;
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].text, fake::text(kTextWarning));
    EXPECT_EQ(boxes[1].text, fake::text(kTextWarning));
    EXPECT_EQ(boxes[2].text, fake::text(kTextOlderOrSame));
    EXPECT_EQ(boxes[3].text, fake::text(kTextLockFailed)) << "no error-code line";
    // The identification once more for the second questions, and nothing of the update.
    EXPECT_EQ(requestsSinceProbe().size(), kIdentificationQueries);
    EXPECT_FALSE(isOpen(appSession()));
}

// A unit that is no longer ready when it is identified after the questions ends the update as a
// unit gone does: nothing of the update sent, no error-code line.
TEST_F(Update, AUnitNoLongerReadyAfterTheBoxIsNotWritten) {
    startReady();
    fake::state().whileBoxOpen = [this] { unit().unit.esc.status = 0; };

    runUpdate();

    EXPECT_TRUE(requestsSinceProbe().empty());
    const auto& boxes = fake::state().boxes;
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, fake::text(kTextLockFailed));
    EXPECT_FALSE(isOpen(appSession()));
}

// Another program holds the unit open for writing: its requests' replies would reach this
// program's queue. After the questions the update tells that the unit is in use, with no
// error-code line, and sends nothing of its own.
TEST_F(Update, AUnitAnotherProgramHoldsForWritingIsInUseAndNotWritten) {
    startReady();
    unit().writerElsewhere = true;

    runUpdate();

    EXPECT_TRUE(requestsSinceProbe().empty());
    const auto& boxes = fake::state().boxes;
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, fake::text(kTextUnitInUse));
    EXPECT_FALSE(isOpen(appSession()));
}

// A report that nobody asked for, with the input report's ID, is taken for the reply it comes
// before: the protocol carries no request number to tell them apart. The unit's own reply then
// waits in the queue and is found there before the next request, which is not sent: the update
// ends with the block's failure, the cause in the code line, and the hint to run it again.
struct StrayCase {
    const char* name;
    unsigned strayAfterBlock;   // Unit::strayReportAfterBlock
    unsigned strayBeforeBlock;  // Unit::strayReportBeforeBlock
    std::size_t refusedBlock;   // counted from 0
    std::size_t blocksSent;
};

class StrayReports : public Update, public ::testing::WithParamInterface<StrayCase> {};

TEST_P(StrayReports, EndTheUpdateBeforeTheNextBlock) {
    const StrayCase& c = GetParam();
    unit().unit.strayReportAfterBlock = c.strayAfterBlock;
    unit().unit.strayReportBeforeBlock = c.strayBeforeBlock;
    unit().unit.refusedBlockAddress = static_cast<std::uint32_t>(c.refusedBlock * 48);
    unit().unit.refusalCode = 7;
    startReady();

    runUpdate();

    const auto& boxes = fake::state().boxes;
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text.rfind(fake::text(kTextBlockFailed), 0), 0u) << "the block's failure";
    EXPECT_NE(boxes[1].text.find(L"0xfffffffe-0xe0000002"), std::wstring::npos) << "the cause";
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateFailedHint)) << "run it again";
    EXPECT_EQ(blockRequests().size(), c.blocksSent) << "nothing after the block found suspect";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, StrayReports,
    ::testing::Values(
        // Block 2 is refused with code 7; the stray before its reply made it look written.
        StrayCase{"BeforeTheRefusalOfBlock2", 0, 2, 1, 2},
        // After block 10's reply; the last block would be refused.
        StrayCase{"AfterTheReplyOfBlock10", 10, 0, kBlocks - 1, 10}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Update, SendsTheCommandsInOrderAndTheImageInBlocks) {
    startReady();
    runUpdate();

    const std::vector<Bytes> requests = requestsSinceProbe();
    ASSERT_EQ(requests.size(), 4 + kBlocks + 2);
    EXPECT_EQ(requests[0], reportBytes({0x01, 0x0B, 0x01, 0x01}));
    EXPECT_EQ(requests[1], reportBytes({0x01, 0x20, 0x01, 0x00}));
    EXPECT_EQ(requests[2][1], 0x1E);
    EXPECT_EQ(requests[3],
              reportBytes({0x01, 0x1F, 0x09, 0x01, 0, 0, 0, 0, 0x91, 0x3C, 0x2F, 0x6A}));
    EXPECT_EQ(requests[4 + kBlocks], reportBytes({0x01, 0x20, 0x01, 0x01}));
    EXPECT_EQ(requests[5 + kBlocks], reportBytes({0x01, 0x0B, 0x01, 0x00}));

    const FirmwareImage image = firmwareImage();
    ASSERT_EQ(image.size, test_image::kBytes);
    const std::vector<Bytes> blocks = blockRequests();
    ASSERT_EQ(blocks.size(), kBlocks);
    for (std::size_t i = 0; i + 1 < kBlocks; ++i) {
        ASSERT_EQ(blocks[i][2], 48) << "block " << i;
        ASSERT_TRUE(std::equal(blocks[i].begin() + 4, blocks[i].begin() + 52, image.bytes + 48 * i))
            << "block " << i;
    }
    const Bytes& last = blocks.back();
    const std::size_t lastBytes = test_image::kLastBlockBytes;
    EXPECT_EQ(last[2], lastBytes) << "the short last block announces its own words";
    EXPECT_TRUE(std::equal(last.begin() + 4, last.begin() + 4 + lastBytes,
                           image.bytes + 48 * (kBlocks - 1)));
    EXPECT_EQ(Bytes(last.begin() + 4 + lastBytes, last.begin() + 52), Bytes(48 - lastBytes, 0xFF));
}

TEST_F(Update, WaitsAddUpAndTheEraseReplyComesASecondLater) {
    startReady();
    runUpdate();
    EXPECT_EQ(sim::now() - startMs, kFixedWaitsMs + 20 * kBlocks);

    const auto& lines = sim::transcript();
    const std::size_t erase = probeLines + 4;  // lock out/in, protection out/in, erase out
    ASSERT_EQ(lines[erase].bytes[1], 0x1E);
    EXPECT_EQ(lines[erase + 1].ms - lines[erase].ms, 1000u);
    EXPECT_EQ(lines[erase + 2].ms - lines[erase + 1].ms, 4020u) << "4000 ms, then 20 ms";
}

// Every gap of an update, one by one, on the virtual clock (an exchange itself takes no time):
// a pause moved from one place to another changes a gap even when the sum stays.
TEST_F(Update, KeepsEveryPauseInItsPlace) {
    startReady();
    runUpdate();

    struct Exchange {
        std::uint8_t command;
        std::uint64_t sent, answered;
    };
    std::vector<Exchange> exchanges;
    const auto& lines = sim::transcript();
    for (std::size_t i = probeLines; i + 1 < lines.size(); i += 2) {
        ASSERT_TRUE(lines[i].out && !lines[i + 1].out) << "request and reply in turn";
        exchanges.push_back({lines[i].bytes[1], lines[i].ms, lines[i + 1].ms});
    }
    ASSERT_EQ(exchanges.size(), 4 + kBlocks + 2);
    const auto gap = [&](std::size_t i) { return exchanges[i].sent - exchanges[i - 1].answered; };

    EXPECT_EQ(gap(1), 20u) << "lock to unprotect";
    EXPECT_EQ(gap(2), 20u) << "unprotect to erase";
    EXPECT_EQ(exchanges[2].answered - exchanges[2].sent, 1000u) << "erase request to its reply";
    EXPECT_EQ(gap(3), 4020u) << "erase reply to the address";
    EXPECT_EQ(gap(4), 20u) << "address to the first block";
    for (std::size_t i = 5; i < 4 + kBlocks; ++i)
        ASSERT_EQ(gap(i), 20u) << "before block " << i - 4;
    EXPECT_EQ(gap(4 + kBlocks), 20u) << "last block to the closing commands";
    EXPECT_EQ(gap(5 + kBlocks), 0u) << "between the two closing commands";
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        if (i == 2) continue;  // the erase, above
        ASSERT_EQ(exchanges[i].answered, exchanges[i].sent) << "exchange " << i;
    }
    EXPECT_EQ(sim::now(), exchanges.back().answered) << "no pause after the closing commands";
}

// The closing commands come after every block was accepted: the update has succeeded, and what
// becomes of them changes nothing; the release is sent even when the protection failed.
struct ClosingCase {
    const char* name;
    unsigned exchange;  // 0: protection on, 1: lock release
    sim::FaultKind kind;
};

class FailedClosingCommand : public Update, public ::testing::WithParamInterface<ClosingCase> {};

TEST_P(FailedClosingCommand, StillEndsInSuccessWithoutABox) {
    startReady();
    const auto closing = static_cast<unsigned>(probeExchanges + 4 + kBlocks + GetParam().exchange);
    sim::addFault({closing, GetParam().kind, 0x107});
    runUpdate();
    EXPECT_EQ(fake::state().boxes.size(), 1u) << "only the warning";
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateSucceeded));
    EXPECT_EQ(fake::controlText(kRow3Version), L"1.0");
    EXPECT_TRUE(isOpen(appSession()));
    EXPECT_EQ(sim::exchangeCount(), probeExchanges + 4 + kBlocks + 2) << "both closing commands";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, FailedClosingCommand,
    ::testing::Values(ClosingCase{"ProtectionNotWritten", 0, sim::FaultKind::writeFails},
                      ClosingCase{"ProtectionRefused", 0, sim::FaultKind::refuse},
                      ClosingCase{"ProtectionNotEchoed", 0, sim::FaultKind::dropEcho},
                      ClosingCase{"ReleaseNotAnswered", 1, sim::FaultKind::noAnswer},
                      ClosingCase{"ReleaseRefused", 1, sim::FaultKind::refuse}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Notices that arrive while the failure box is open wait for it, and are then handled in order:
// the failed unit's removal, then a new unit's arrival, which is shown ready.
TEST_F(Update, NoticesDuringTheFailureBoxAreHandledAfterIt) {
    startReady();
    sim::addFault({probeExchanges + 2, sim::FaultKind::refuse, 0x107});
    fake::state().whileBoxOpen = [this] {  // the warning; the next box is the failure's
        fake::state().whileBoxOpen = [this] {
            const std::wstring path = widePath(unit().path);
            sim::unplug(unitId);
            const DeviceEventRecord removal{kDeviceTypeInterface, path.c_str()};
            EXPECT_EQ(onDeviceChange(kDeviceRemoveComplete, &removal), 1);
            unitId = sim::plugIn(sim::programmingUnit(1));
            const std::wstring arrived = widePath(unit().path);
            const DeviceEventRecord arrival{kDeviceTypeInterface, arrived.c_str()};
            EXPECT_EQ(onDeviceChange(kDeviceArrival, &arrival), 1);
            EXPECT_FALSE(isOpen(appSession())) << "the arrival waits for the box";
        };
    };
    runUpdate();
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextReady));
    EXPECT_TRUE(isOpen(appSession()));
    EXPECT_EQ(fake::controlText(kRow1Caption), L"LINKWAVE");
    EXPECT_TRUE(fake::isEnabled(kUpdateButton));
}

TEST_F(Update, LeavesTheImageInTheControllerAndTheWindowUpdated) {
    startReady();
    runUpdate();

    const FirmwareImage image = firmwareImage();
    EXPECT_EQ(flashPrefix(), Bytes(image.bytes, image.bytes + image.size));
    EXPECT_FALSE(unit().unit.systemLocked);
    EXPECT_TRUE(unit().unit.esc.writeProtected);

    EXPECT_EQ(fake::controlText(kRow3Version), L"1.0");
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateSucceeded));
    EXPECT_FALSE(fake::isEnabled(kUpdateButton));
    EXPECT_TRUE(isOpen(appSession()));
    EXPECT_EQ(fake::state().boxes.size(), 1u) << "only the warning";
}

// Keys typed while the update writes wait in the queue; they are dropped before the outcome is
// shown, so that they neither close the window after a success nor answer the failure box.
TEST_F(Update, DropsInputQueuedDuringTheWritingBeforeTheOutcome) {
    startReady();
    unsigned discardsWhileWriting = 0;
    fake::state().whilePainting = [&] { discardsWhileWriting += fake::state().inputDiscards; };
    runUpdate();
    EXPECT_EQ(discardsWhileWriting, 0u);
    EXPECT_EQ(fake::state().boxes[0].inputDiscardsBefore, 0u) << "the warning is answered";
    EXPECT_GE(fake::state().inputDiscards, 1u);
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateSucceeded));
}

// Only the unit that was checked when Update was pressed is written. While a confirmation box is
// open the unit may be pulled and another one plugged in: opened afresh, identified or not, it is
// not the checked one, and the update ends as for a unit gone, sending nothing.
struct ChangeCase {
    const char* name;
    std::uint16_t installed;  // 0x0100 asks the second question too
    int box;                  // the box during which the unit changes: 0 warning, 1 question
    enum { pulled, silentPluggedIn, readyPluggedIn } then;
};

class UnitChangedDuringABox : public Update, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(UnitChangedDuringABox, EndsAsForAUnitGoneAndSendsNothing) {
    const ChangeCase& c = GetParam();
    unit().unit.esc.firmwareVersion = c.installed;
    startReady();
    const auto change = [this, &c] {
        const std::wstring path = widePath(unit().path);
        sim::unplug(unitId);
        const DeviceEventRecord removal{kDeviceTypeInterface, path.c_str()};
        onDeviceChange(kDeviceRemoveComplete, &removal);
        if (c.then == ChangeCase::pulled) return;
        sim::Device other = sim::programmingUnit(1);
        other.unit.controllerSilent = c.then == ChangeCase::silentPluggedIn;
        unitId = sim::plugIn(other);
        const std::wstring arrived = widePath(unit().path);
        const DeviceEventRecord arrival{kDeviceTypeInterface, arrived.c_str()};
        onDeviceChange(kDeviceArrival, &arrival);
        ASSERT_TRUE(isOpen(appSession()));
    };
    if (c.box == 0) {
        fake::state().whileBoxOpen = change;
    } else {
        fake::state().whileBoxOpen = [&] { fake::state().whileBoxOpen = change; };
        fake::state().answers = {window::Answer::ok, window::Answer::yes};
    }

    runUpdate();

    for (const Bytes& request : requestsSinceProbe()) {
        EXPECT_TRUE(request[1] == 0x08 || request[1] == 0x1D || request[1] == 0x22)
            << "a command went out: " << int(request[1]);
    }
    const auto& boxes = fake::state().boxes;
    ASSERT_EQ(boxes.size(), static_cast<std::size_t>(c.box + 2));
    EXPECT_EQ(boxes.back().caption, fake::text(kTextUpdateFailedCaption));
    EXPECT_EQ(boxes.back().text, fake::text(kTextLockFailed)) << "no error-code line";
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateFailedHint));
    EXPECT_FALSE(fake::isEnabled(kUpdateButton));
    EXPECT_FALSE(isOpen(appSession()));
    EXPECT_EQ(fake::state().sleepAndShutdownBlocks, 0u);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, UnitChangedDuringABox,
    ::testing::Values(
        ChangeCase{"PulledDuringTheWarning", 0x0009, 0, ChangeCase::pulled},
        ChangeCase{"SilentControllerDuringTheWarning", 0x0009, 0, ChangeCase::silentPluggedIn},
        ChangeCase{"ReadyUnitDuringTheWarning", 0x0009, 0, ChangeCase::readyPluggedIn},
        ChangeCase{"SilentControllerDuringTheQuestion", 0x0100, 1, ChangeCase::silentPluggedIn},
        ChangeCase{"ReadyUnitDuringTheQuestion", 0x0100, 1, ChangeCase::readyPluggedIn}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The build's placeholder is no firmware: written to a simulated unit (the demo), refused for a
// real one, as an image that cannot be sent is refused.
Bytes placeholderBytes(96, 0x50);
FirmwareImage placeholderImage() {
    FirmwareImage image = withOwnDigest(placeholderBytes.data(), placeholderBytes.size());
    image.placeholder = true;
    return image;
}
FirmwareImage realImage() {
    return withOwnDigest(placeholderBytes.data(), placeholderBytes.size());
}

struct PlaceholderCase {
    const char* name;
    FirmwareImage (*image)();
    bool accepted;
    bool written;
};

class Placeholder : public Update, public ::testing::WithParamInterface<PlaceholderCase> {};

TEST_P(Placeholder, IsWrittenOnlyToASimulatedUnit) {
    const PlaceholderCase& c = GetParam();
    acceptPlaceholderImage(c.accepted);
    startReady();
    runUpdate(c.image);
    if (c.written) {
        EXPECT_EQ(flashPrefix(), placeholderBytes);
        EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateSucceeded));
    } else {
        EXPECT_TRUE(requestsSinceProbe().empty());
        ASSERT_EQ(fake::state().boxes.size(), 2u);
        EXPECT_EQ(fake::state().boxes[1].text, fake::text(kTextUpdateFailedHint));
        EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateFailedHint));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Placeholder,
    ::testing::Values(PlaceholderCase{"RefusedForARealUnit", placeholderImage, false, false},
                      PlaceholderCase{"WrittenToASimulatedUnit", placeholderImage, true, true},
                      PlaceholderCase{"RealImageForARealUnit", realImage, false, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Update, ShowsProgressInACentredWindowThatGoesAway) {
    startReady();
    runUpdate();

    const auto& calls = fake::state().windowCalls;
    ASSERT_FALSE(calls.empty());
    // The main window spans 100..625 x 100..510.
    EXPECT_EQ(calls[0], "create 2 162,280 400x50 " +
                            std::string("Firmware update in progress, please wait..."));
    EXPECT_EQ(calls[1], "progress 2 0");
    EXPECT_EQ(calls[2], "top 1");
    EXPECT_EQ(calls[3], "top 2");
    EXPECT_EQ(calls.back(), "destroy 2");

    const std::vector<unsigned> positions = progressPositions();
    ASSERT_EQ(positions.size(), 1 + kBlocks);
    EXPECT_EQ(positions[1], 0u) << "4800 / 90224 truncated";
    EXPECT_EQ(positions.back(), 100u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_GE(fake::state().keepPaintingCalls, kBlocks)
        << "the window repaints during the transfer";
}

struct ZOrderCase {
    const char* name;
    window::WindowHandle foreground;
    bool raised;
};

class ZOrder : public Update, public ::testing::WithParamInterface<ZOrderCase> {};

TEST_P(ZOrder, RaisesBothWindowsOnceWhenTheUpdaterIsInFront) {
    fake::state().foreground = GetParam().foreground;
    startReady();
    runUpdate();
    const auto& calls = fake::state().windowCalls;
    const std::vector<std::string> raise = {"top 1", "top 2", "show 1", "show 2"};
    std::size_t found = 0;
    for (std::size_t i = 0; i + raise.size() <= calls.size(); ++i) {
        if (std::equal(raise.begin(), raise.end(), calls.begin() + i)) ++found;
    }
    EXPECT_EQ(found, GetParam().raised ? 1u : 0u);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ZOrder,
                         ::testing::Values(ZOrderCase{"MainWindowInFront", 1, true},
                                           ZOrderCase{"ProgressWindowInFront", 2, true},
                                           ZOrderCase{"AnotherProgramInFront", 77, false}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Update, WithoutAProgressWindowTheTransferGoesOn) {
    fake::state().progressWindowFails = true;
    startReady();
    runUpdate();
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateSucceeded));
}

TEST_F(Update, AnImageOfWholeBlocksHasNoShortBlock) {
    std::iota(wholeBlocksImage.begin(), wholeBlocksImage.end(), std::uint8_t{1});
    startReady();
    runUpdate(twoWholeBlocks);
    const std::vector<Bytes> blocks = blockRequests();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0][2], 48);
    EXPECT_EQ(blocks[1][2], 48);
    EXPECT_EQ(flashPrefix(), wholeBlocksImage);
    EXPECT_EQ(progressPositions(), (std::vector<unsigned>{0, 50, 100}));
}

// Mended: an image that cannot be sent faithfully is refused before the first command, rather
// than counting an erase without new firmware as a success. So is an image that is not the one
// the build was given: a damaged image would erase the old firmware and write a broken one.
struct ImageCase {
    const char* name;
    FirmwareImage (*image)();
};

class UnsendableImage : public Update, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(UnsendableImage, IsRefusedBeforeAnythingIsSent) {
    startReady();
    runUpdate(GetParam().image);
    EXPECT_TRUE(requestsSinceProbe().empty());
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    EXPECT_EQ(fake::state().boxes[1].caption, fake::text(kTextUpdateFailedCaption));
    EXPECT_EQ(fake::state().boxes[1].text, fake::text(kTextUpdateFailedHint));
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateFailedHint));
    EXPECT_FALSE(fake::isEnabled(kUpdateButton));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, UnsendableImage,
                         ::testing::Values(ImageCase{"Missing", noImage},
                                           ImageCase{"Empty", emptyImage},
                                           ImageCase{"NotWholeWords", oddImage},
                                           ImageCase{"OneBitAltered", alteredImage},
                                           ImageCase{"WithoutDigest", imageWithoutDigest}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Update, UnitPulledDuringTheWarningFailsAtTheLockWithoutACodeLine) {
    startReady();
    fake::state().whileBoxOpen = [this] {
        const std::wstring path = widePath(unit().path);
        sim::unplug(unitId);
        const DeviceEventRecord removal{kDeviceTypeInterface, path.c_str()};
        onDeviceChange(kDeviceRemoveComplete, &removal);
    };
    runUpdate();
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    EXPECT_EQ(fake::state().boxes[1].text, fake::text(kTextLockFailed));
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateFailedHint));
}

TEST_F(Update, AnUnconfirmedLockShowsItsCodeAndLastError) {
    startReady();
    sim::addFault({probeExchanges, sim::FaultKind::dropEcho, 0});
    runUpdate();
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    EXPECT_EQ(fake::state().boxes[1].text, failureText(kTextLockFailed, 1627, 0));
    EXPECT_NE(fake::state().boxes[1].text.find(L"0x0000065b-0x00000000"), std::wstring::npos);
}

// Support asks for the log after a failure: the failure box says when it could not be written
// (the other tests, without a log, show the box without that line).
TEST_F(Update, TheFailureBoxSaysWhenTheLogCouldNotBeWritten) {
    const std::string notAFolder = ::testing::TempDir() + "update-log-not-a-folder";
    std::ofstream(notAFolder) << "a file where the log's folder would be";
    sessionlog::Log log;
    log.start({"update-test 1.0", "00ff", "TestOS"}, {"", notAFolder + "/logs"}, clock);
    startAppSession({backend, clock, &log});
    startReady();
    sim::addFault({probeExchanges, sim::FaultKind::dropEcho, 0});
    runUpdate();
    startAppSession({backend, clock});
    std::remove(notAFolder.c_str());
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    EXPECT_EQ(fake::state().boxes[1].text,
              failureText(kTextLockFailed, 1627, 0) + L"\r\n\r\n" + fake::text(kTextLogNotWritten));
}

// A fault at every exchange of an update, of every kind that can strike there.
struct FaultCase {
    std::string name;
    unsigned exchange;  // 0 lock, 1 protection, 2 erase, 3 address, 4.. blocks
    sim::FaultKind kind;
};

std::uint16_t failureTextFor(unsigned exchange) {
    switch (exchange) {
        case 0: return kTextLockFailed;
        case 1: return kTextUnprotectFailed;
        case 2: return kTextEraseFailed;
        case 3: return kTextAddressFailed;
        default: return kTextBlockFailed;
    }
}

constexpr std::uint32_t kRefusalCode = 0x00C0FFEE;

// What the failed step returns, and the last error the platform leaves.
std::pair<ResultCode, std::uint32_t> expectedFailure(const FaultCase& c) {
    switch (c.kind) {
        case sim::FaultKind::writeFails: return {kWriteFailed, sim::kErrorGenFailure};
        case sim::FaultKind::removed: return {kWriteFailed, sim::kErrorDeviceNotConnected};
        case sim::FaultKind::readFails: return {kReadFailed, sim::kErrorGenFailure};
        case sim::FaultKind::noAnswer: return {kReadFailed, sim::kErrorTimeout};
        case sim::FaultKind::dropEcho: return {kStateNotConfirmed, 0};
        default:
            // The lock is judged by its echo alone: a refusal leaves the lock unconfirmed.
            return {c.exchange == 0 ? kStateNotConfirmed : ResultCode(kRefusalCode), 0};
    }
}

std::vector<FaultCase> everyFault() {
    const std::pair<sim::FaultKind, const char*> kinds[] = {
        {sim::FaultKind::writeFails, "WriteFails"}, {sim::FaultKind::readFails, "ReadFails"},
        {sim::FaultKind::refuse, "Refused"},        {sim::FaultKind::dropEcho, "NoEcho"},
        {sim::FaultKind::noAnswer, "NoAnswer"},     {sim::FaultKind::removed, "UnitPulled"}};
    const char* steps[] = {"Lock", "Protection", "Erase", "Address"};
    std::vector<FaultCase> cases;
    for (unsigned exchange = 0; exchange < 4 + kBlocks; ++exchange) {
        for (const auto& [kind, kindName] : kinds) {
            if (kind == sim::FaultKind::dropEcho && exchange > 1) continue;  // no echo judged
            std::string name =
                exchange < 4 ? steps[exchange] : "Block" + std::to_string(exchange - 4);
            cases.push_back({name + kindName, exchange, kind});
        }
    }
    return cases;
}

class Faults : public Update, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, EndInTheFailureReport) {
    const FaultCase& c = GetParam();
    startReady();
    sim::addFault({probeExchanges + c.exchange, c.kind, kRefusalCode});
    runUpdate();

    const auto [result, error] = expectedFailure(c);
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    const auto& box = fake::state().boxes[1];
    EXPECT_EQ(box.caption, fake::text(kTextUpdateFailedCaption));
    EXPECT_EQ(box.text, failureText(failureTextFor(c.exchange), result, error));
    EXPECT_EQ(box.box, window::Box::error);
    EXPECT_GE(box.inputDiscardsBefore, 1u) << "keys typed meanwhile would answer the box";
    EXPECT_FALSE(isOpen(appSession()));
    EXPECT_FALSE(fake::isEnabled(kUpdateButton));
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateFailedHint));
    EXPECT_EQ(fake::controlText(kRow3Version), L"0.0.0");

    // Nothing after the failed exchange: no further block, no closing commands.
    EXPECT_EQ(sim::exchangeCount(), probeExchanges + c.exchange + 1);
    if (c.exchange >= 4) {
        EXPECT_EQ(fake::state().windowCalls.back(), "destroy 2");
    }

    // The controller holds nothing but the start of the image.
    if (sim::Device* device = sim::findDevice(unitId)) {
        const Bytes written = flashPrefix();
        const FirmwareImage image = firmwareImage();
        ASSERT_LE(written.size(), image.size);
        EXPECT_TRUE(std::equal(written.begin(), written.end(), image.bytes));
        EXPECT_EQ(device->unit.systemLocked, c.exchange > 0 || c.kind == sim::FaultKind::dropEcho)
            << "the lock is not released after a failure";
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(EveryExchange, Faults, ::testing::ValuesIn(everyFault()),
                         [](const auto& info) { return info.param.name; });
// clang-format on

}  // namespace

namespace {

// The system's sleep and shutdown are held off from the first command to the end of the
// writing, and released on every way out.
TEST_F(Update, HoldsOffSleepAndShutdownOnlyWhileWriting) {
    startReady();
    bool blockedDuringTransfer = true;
    fake::state().whilePainting = [&] {
        blockedDuringTransfer = blockedDuringTransfer && fake::state().sleepAndShutdownBlocked;
    };
    runUpdate();
    EXPECT_TRUE(blockedDuringTransfer);
    EXPECT_EQ(fake::state().sleepAndShutdownBlocks, 1u);
    EXPECT_EQ(fake::state().shutdownReason, fake::text(kTextUpdateInProgress));
    EXPECT_FALSE(fake::state().sleepAndShutdownBlocked);
}

TEST_F(Update, ReleasesSleepAndShutdownBeforeTheFailureBox) {
    startReady();
    sim::addFault({probeExchanges + 2, sim::FaultKind::refuse, 7});
    bool blockedAtTheFailureBox = true;
    fake::state().whileBoxOpen = [&] {  // the warning; the next box is the failure's
        fake::state().whileBoxOpen = [&] {
            blockedAtTheFailureBox = fake::state().sleepAndShutdownBlocked;
        };
    };
    runUpdate();
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    EXPECT_FALSE(blockedAtTheFailureBox);
    EXPECT_EQ(fake::state().sleepAndShutdownBlocks, 1u);
    EXPECT_FALSE(fake::state().sleepAndShutdownBlocked);
}

TEST_F(Update, DecliningNeverHoldsOffSleep) {
    startReady();
    fake::state().answers = {window::Answer::cancel};
    runUpdate();
    EXPECT_EQ(fake::state().sleepAndShutdownBlocks, 0u);
}

// A unit pulled during the transfer: its removal notice arrives while the update writes (sent
// messages are delivered whenever the thread looks at its queue) and is held back, so the update
// ends in its block failure with the platform's error, and the notice changes nothing after it.
TEST_F(Update, UnitPulledMidTransferEndsInTheBlockFailure) {
    startReady();
    int paints = 0;
    fake::state().whilePainting = [&] {
        if (++paints != 100) return;
        const std::wstring path = widePath(unit().path);
        sim::unplug(unitId);
        const DeviceEventRecord removal{kDeviceTypeInterface, path.c_str()};
        EXPECT_EQ(onDeviceChange(kDeviceRemoveComplete, &removal), 1);
        EXPECT_TRUE(isOpen(appSession())) << "the notice is held while the update writes";
    };
    runUpdate();
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    EXPECT_EQ(fake::state().boxes[1].text,
              failureText(kTextBlockFailed, kWriteFailed, sim::kErrorDeviceNotConnected));
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextUpdateFailedHint));
    EXPECT_FALSE(isOpen(appSession()));
}

// A unit pulled and plugged in again during the transfer: once the update has ended, the held
// notices are handled in order and the new unit is found ready.
TEST_F(Update, NoticesHeldDuringTheTransferAreHandledAfterIt) {
    startReady();
    int paints = 0;
    fake::state().whilePainting = [&] {
        if (++paints != 10) return;
        const std::wstring path = widePath(unit().path);
        sim::unplug(unitId);
        const DeviceEventRecord removal{kDeviceTypeInterface, path.c_str()};
        onDeviceChange(kDeviceRemoveComplete, &removal);
        unitId = sim::plugIn(sim::programmingUnit());
        const std::wstring arrived = widePath(unit().path);
        const DeviceEventRecord arrival{kDeviceTypeInterface, arrived.c_str()};
        onDeviceChange(kDeviceArrival, &arrival);
    };
    runUpdate();
    ASSERT_EQ(fake::state().boxes.size(), 2u);
    EXPECT_EQ(fake::state().boxes[1].text.rfind(fake::text(kTextBlockFailed), 0), 0u);
    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextReady));
    EXPECT_TRUE(fake::isEnabled(kUpdateButton));
    EXPECT_TRUE(isOpen(appSession()));
}

}  // namespace
