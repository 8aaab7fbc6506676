// The update's conversation apart from any face: the outcome as composed for the user, and an
// update of several units on the simulated bench, asked per unit or once for all.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/text_ids.h"
#include "engine/update_conversation.h"
#include "flash/firmware_image.h"
#include "sim/sim_fixture.h"

namespace {

struct OutcomeCase {
    const char* name;
    bool hasErrorCodeLine;
    int capacity;
    const wchar_t* composed;  // null: does not fit
};

class Outcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(Outcome, IsTheTextWithItsErrorCodeLineWhereItFits) {
    const OutcomeCase& c = GetParam();
    UpdateReport report;
    report.textId = kTextEraseFailed;
    report.hasErrorCodeLine = c.hasErrorCodeLine;
    report.result = static_cast<ResultCode>(0x107);
    report.lastError = 5;
    std::vector<wchar_t> buffer(c.capacity);
    const int length = composeOutcome(buffer.data(), c.capacity, report, L"Erase failed.",
                                      L"Code 0x%08x-0x%08x", L" / ");
    if (c.composed == nullptr) {
        EXPECT_EQ(length, -1);
        return;
    }
    EXPECT_EQ(std::wstring(buffer.data()), c.composed);
    EXPECT_EQ(length, static_cast<int>(std::wstring(c.composed).size()));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Reports, Outcome,
    ::testing::Values(
        OutcomeCase{"WithoutCode", false, 64, L"Erase failed."},
        OutcomeCase{"WithCode", true, 64, L"Erase failed. / Code 0x00000107-0x00000005"},
        // The error-code line is left out rather than cut.
        OutcomeCase{"CodeTooLong", true, 20, L"Erase failed."},
        OutcomeCase{"TextTooLong", false, 8, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(Advice, FollowsAFailureThatDoesNotSayIt) {
    UpdateReport report;
    report.succeeded = true;
    report.textId = kTextUpdateSucceeded;
    EXPECT_FALSE(adviceFollows(report));
    report.succeeded = false;
    report.textId = kTextLockFailed;
    EXPECT_TRUE(adviceFollows(report));
    report.textId = kTextUpdateFailedHint;
    EXPECT_FALSE(adviceFollows(report));
}

// Two ready units, each with its own session and face; each face answers with its own answers.
class SeveralUnits : public SimTest {
protected:
    struct Unit {
        explicit Unit(const DeviceLink& link) : session(link) {}

        DeviceSession session;
        std::vector<bool> answers;  // in the order asked; no when they run out
        std::vector<UpdateQuestion> asked;
        bool reported = false;
        bool succeeded = false;
    };

    static bool answer(void* context, UpdateQuestion question) {
        auto* unit = static_cast<Unit*>(context);
        unit->asked.push_back(question);
        const std::size_t at = unit->asked.size() - 1;
        return at < unit->answers.size() && unit->answers[at];
    }
    static void report(void* context, const UpdateReport& report) {
        auto* unit = static_cast<Unit*>(context);
        unit->reported = true;
        unit->succeeded = report.succeeded;
    }

    void SetUp() override {
        sim::plugIn(sim::programmingUnit(2, "/dev/hidraw0"));
        sim::plugIn(sim::programmingUnit(2, "/dev/hidraw1"));
        std::vector<hid::DeviceInfo> found;
        ASSERT_TRUE(findUnits(backend, &found));
        ASSERT_EQ(found.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            UnitOpenFailure failure;
            ASSERT_EQ(openUnit(units[i].session, found[i], &failure), kSuccess);
            updates[i].session = &units[i].session;
            updates[i].face.context = &units[i];
            updates[i].face.ask = answer;
            updates[i].face.report = report;
        }
    }
    void TearDown() override {
        for (Unit& unit : units) closeSession(unit.session);
        SimTest::TearDown();
    }

    // The questions asked once for every unit, answered with yes.
    struct AskedOfAll {
        std::vector<UpdateQuestion> asked;
        bool yes = true;
    };
    static bool askAll(void* context, UpdateQuestion question) {
        auto* all = static_cast<AskedOfAll*>(context);
        all->asked.push_back(question);
        return all->yes;
    }
    UpdatesFace onceForAll(AskedOfAll* all) {
        UpdatesFace face;
        face.context = all;
        face.asking = Asking::warningOnceForAll;
        face.askAll = askAll;
        return face;
    }

    Unit units[2] = {Unit({backend, clock}), Unit({backend, clock})};
    std::vector<UnitUpdate> updates = std::vector<UnitUpdate>(2);
};

TEST_F(SeveralUnits, AskedPerUnitEachAnswersForItselfAlone) {
    units[0].answers = {false};
    units[1].answers = {true};
    EXPECT_TRUE(converseUpdates(updates, UpdatesFace{}, firmwareImage, true));
    EXPECT_EQ(units[0].asked, std::vector<UpdateQuestion>{UpdateQuestion::warning});
    EXPECT_EQ(units[1].asked, std::vector<UpdateQuestion>{UpdateQuestion::warning});
    EXPECT_EQ(updates[0].end, UpdateEnd::declined);
    EXPECT_FALSE(units[0].reported);
    EXPECT_EQ(updates[1].end, UpdateEnd::succeeded);
    EXPECT_TRUE(units[1].succeeded);
}

TEST_F(SeveralUnits, TheWarningOnceForAllIsNotAskedOfAnyUnit) {
    AskedOfAll all;
    EXPECT_TRUE(converseUpdates(updates, onceForAll(&all), firmwareImage, true));
    EXPECT_EQ(all.asked, std::vector<UpdateQuestion>{UpdateQuestion::warning});
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(units[i].asked.empty()) << i;
        EXPECT_EQ(updates[i].end, UpdateEnd::succeeded) << i;
    }
}

TEST_F(SeveralUnits, TheWarningDeclinedForAllSendsNothing) {
    AskedOfAll all;
    all.yes = false;
    sim::clearTranscript();
    EXPECT_FALSE(converseUpdates(updates, onceForAll(&all), firmwareImage, true));
    EXPECT_TRUE(commandsSent().empty());
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(updates[i].end, UpdateEnd::declined) << i;
        EXPECT_FALSE(units[i].reported) << i;
    }
}

}  // namespace
