#include "cli_units.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>
#include <thread>

#include "cli_parts.h"
#include "cli_signals.h"
#include "cli_texts.h"
#include "device/device_session.h"
#include "flash/firmware_image.h"
#include "engine/text_ids.h"
#include "engine/unit_state.h"
#include "engine/update_conversation.h"
#include "engine/version_labels.h"
#include "units_progress.h"

namespace cli {
namespace {

constexpr const char* kCommand = "terval-updater-cli update";
constexpr const char* kIndent = "    ";

// One unit found: its node and its judgement. Its session stays open while it is ready, so that
// no other program takes the unit between its check and its update.
struct FoundUnit {
    explicit FoundUnit(const DeviceLink& link) : session(link) {}
    hid::DeviceInfo node;
    DeviceSession session;
    UnitState state = UnitState::notFound;
    Unavailable unavailable = Unavailable::no;
};
using FoundUnits = std::vector<std::unique_ptr<FoundUnit>>;

std::string modelOf(const hid::DeviceInfo& node) {
    UnitView view;
    view.productId = node.productId;
    return utf8(openViewLabels(view).productName);
}

// "/dev/hidraw0 (LINK-CUBE)"
std::string unitName(const hid::DeviceInfo& node) { return node.path + " (" + modelOf(node) + ")"; }

// The node as the system names it, links followed; the path itself where it names no file.
std::string resolved(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    const std::string name = real;
    free(real);
    return name;
}

std::unique_ptr<FoundUnit> judged(const hid::DeviceInfo& node, const DeviceLink& link) {
    auto unit = std::make_unique<FoundUnit>(link);
    unit->node = node;
    UnitOpenFailure failure;
    unit->state = judgeUnit(openUnit(unit->session, node, &failure), unit->session);
    unit->unavailable = unavailability(unit->session, failure);
    if (unit->state != UnitState::ready) closeSession(unit->session);
    return unit;
}

// Each unit opened and judged in turn.
FoundUnits judgedUnits(const std::vector<hid::DeviceInfo>& units, const DeviceLink& link) {
    FoundUnits found;
    for (const hid::DeviceInfo& node : units) found.push_back(judged(node, link));
    return found;
}

void closeAll(FoundUnits& found) {
    for (auto& unit : found) closeSession(unit->session);
}

bool isReady(const FoundUnit& unit) { return unit.state == UnitState::ready; }

int unitExitCode(const FoundUnit& unit) {
    return unit.unavailable != Unavailable::no ? kExitUnavailable : exitCodeOf(unit.state);
}

// 0 when every unit is ready, else the code of the first that is not.
int firstUnitsExitCode(const FoundUnits& found) {
    for (const auto& unit : found) {
        if (unitExitCode(*unit) != kExitOk) return unitExitCode(*unit);
    }
    return kExitOk;
}

// The state as a word of --json.
const char* stateWord(const FoundUnit& unit) {
    if (unit.unavailable == Unavailable::inUse) return "in-use";
    if (unit.unavailable == Unavailable::notPermitted) return "not-permitted";
    switch (unit.state) {
        case UnitState::ready: return "ready";
        case UnitState::wrongMode: return "wrong-mode";
        case UnitState::noController: return "no-controller";
        case UnitState::incompatibleController: return "incompatible";
        case UnitState::notFound: break;
    }
    return "no-answer";
}

std::string withoutLastLineFeed(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The ready text's first sentence, and the note after it.
std::string readySentence(Language language) {
    const std::string text = readyText(language, false);
    return text.substr(0, text.find("\n\n"));
}

std::string readyNote(Language language) {
    const std::string text = readyText(language, false);
    const std::size_t note = text.find("\n\n");
    return note == std::string::npos ? "" : text.substr(note + 2);
}

// The state in a sentence: the status that the Hint would show (its connection steps told once,
// after every unit).
std::string stateText(const FoundUnit& unit, Language language) {
    if (unit.unavailable != Unavailable::no) {
        return withoutLastLineFeed(unavailableText(unit.unavailable, unit.node.path, language));
    }
    switch (unit.state) {
        case UnitState::ready: return readySentence(language);
        case UnitState::notFound: return cliText(CliText::unitNoAnswer, language);
        default: return catalogueUtf8(statusTextOf(unit.state), language);
    }
}

void printUnit(const FoundUnit& unit, CliIo& io) {
    io.out << unitName(unit.node) << '\n';
    printVersionRows(unit.session, unit.state, io);
    io.out << stateText(unit, io.language) << '\n';
}

void printUnits(const FoundUnits& found, CliIo& io) {
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (i > 0) io.out << '\n';
        printUnit(*found[i], io);
    }
}

// After the list: the incompatible controller's notice and the connection steps where a unit
// needs them, and the command lines that update the ready ones with the note.
void printAdvice(const FoundUnits& found, CliIo& io) {
    const auto any = [&](auto is) { return std::any_of(found.begin(), found.end(), is); };
    if (any([](const auto& unit) {
            return unit->unavailable == Unavailable::no &&
                   unit->state == UnitState::incompatibleController;
        })) {
        io.out << '\n'
               << catalogueUtf8(kTextIncompatibleCaption, io.language) << '\n'
               << incompatibleNotice(io.language) << '\n';
    }
    if (any([](const auto& unit) {
            return unit->unavailable == Unavailable::no && !isReady(*unit);
        })) {
        io.out << '\n' << catalogueUtf8(kTextInstructions, io.language) << '\n';
    }
    const auto ready =
        std::count_if(found.begin(), found.end(), [](const auto& unit) { return isReady(*unit); });
    if (ready == 0) return;
    io.out << '\n' << cliText(CliText::runUpdateOfUnits, io.language);
    for (const auto& unit : found) {
        if (!isReady(*unit)) continue;
        io.out << kIndent << kCommand << " --device " << unit->node.path << '\n';
    }
    if (ready > 1) io.out << kIndent << kCommand << " --all\n";
    io.out << '\n' << readyNote(io.language) << '\n';
}

// A text as a JSON string.
std::string jsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + '"';
}

std::string jsonObject(const FoundUnit& unit) {
    const VersionRows rows = shownRows(unit.session, unit.state);
    return std::string("{\"path\": ") + jsonString(unit.node.path) +
           ", \"productId\": " + std::to_string(unit.node.productId) +
           ", \"model\": " + jsonString(modelOf(unit.node)) +
           ", \"unitFirmware\": " + jsonString(utf8(rows.labels[0])) +
           ", \"escBootloader\": " + jsonString(utf8(rows.labels[1])) +
           ", \"escFirmware\": " + jsonString(utf8(rows.labels[2])) +
           ", \"state\": " + jsonString(stateWord(unit)) + "}";
}

// One ready unit's update: what was agreed, and how it ended.
struct UnitUpdate {
    enum class Stage { asked, declined, unitGone, agreed, ended };

    FoundUnit* unit = nullptr;
    Stage stage = Stage::asked;
    std::size_t line = 0;  // its line of the progress
    UnitsProgress* progress = nullptr;
    UpdateReport report;
};

// A question about one unit, named before it.
struct AskingAbout {
    const FoundUnit* unit;
    bool answerYes;
    CliIo* io;
};

bool askAboutUnit(void* context, UpdateQuestion question) {
    auto* asking = static_cast<AskingAbout*>(context);
    asking->io->err << '\n' << unitName(asking->unit->node) << ':';
    return confirmed(captionOf(question), textOf(question), asking->answerYes, *asking->io);
}

// The warning once for all; then each unit's older-or-same question where its controller needs
// it; then each unit identified again, and asked about anew where its controller changed.
bool askAboutUnits(std::vector<UnitUpdate>& updates, bool answerYes, CliIo& io) {
    if (!confirmed(kTextWarningCaption, kTextWarning, answerYes, io)) return false;
    for (UnitUpdate& update : updates) {
        AskingAbout asking{update.unit, answerYes, &io};
        if (isNotOlderThanImage(escFirmwareVersion(update.unit->session)) &&
            !askAboutUnit(&asking, UpdateQuestion::olderOrSame)) {
            update.stage = UnitUpdate::Stage::declined;
        }
    }
    for (UnitUpdate& update : updates) {
        if (update.stage == UnitUpdate::Stage::declined) continue;
        AskingAbout asking{update.unit, answerYes, &io};
        UpdateFace face;
        face.context = &asking;
        face.ask = askAboutUnit;
        switch (confirmAnswered(update.unit->session, face)) {
            case Confirmation::given: update.stage = UnitUpdate::Stage::agreed; break;
            case Confirmation::declined: update.stage = UnitUpdate::Stage::declined; break;
            // In use is not on Linux, where the node is kept as opened (locked) for the update.
            case Confirmation::unitGone:
            case Confirmation::unitInUse: update.stage = UnitUpdate::Stage::unitGone; break;
        }
    }
    return true;
}

void progressStarting(void* context) {
    auto* update = static_cast<UnitUpdate*>(context);
    update->progress->start(update->line);
}

void progressBlock(void* context, std::uint32_t percent) {
    auto* update = static_cast<UnitUpdate*>(context);
    update->progress->show(update->line, percent);
}

void progressEnded(void* context) {
    auto* update = static_cast<UnitUpdate*>(context);
    update->progress->finish(update->line);
}

void keepReport(void* context, const UpdateReport& report) {
    static_cast<UnitUpdate*>(context)->report = report;
}

// The writing of one agreed unit, on a thread of its own: its session, its pacing, its report.
void writeUnit(UnitUpdate& update, bool placeholderAccepted) {
    UpdateFace face;
    face.context = &update;
    face.progress = UpdateProgress{&update, progressStarting, progressBlock, progressEnded};
    face.report = keepReport;
    writeAgreedUpdate(update.unit->session, face, firmwareImage, placeholderAccepted);
    update.stage = UnitUpdate::Stage::ended;
    update.progress->ended(update.line);
}

// Writes every agreed unit at once, with the signals held from the first command to the outcome.
void writeAgreedUnits(std::vector<UnitUpdate*>& agreed, CliIo& io, bool* wrote,
                      const std::function<void()>& tellOutcome) {
    std::vector<std::string> labels;
    for (UnitUpdate* update : agreed) labels.push_back(update->unit->node.path);
    UnitsProgress progress(io.err, io.barColumns, labels, WritingSignals::noticeGiven);
    std::vector<std::function<void()>> writings;
    for (std::size_t i = 0; i < agreed.size(); ++i) {
        agreed[i]->line = i;
        agreed[i]->progress = &progress;
        UnitUpdate& update = *agreed[i];
        const bool placeholderAccepted = io.acceptPlaceholder;
        writings.push_back(
            [&update, placeholderAccepted] { writeUnit(update, placeholderAccepted); });
    }
    *wrote = true;
    WritingSignals signals(
        inLocaleCharset(catalogueUtf8(kTextUpdateInProgress, io.language) + '\n'), io.noticeFd);
    runWritings(writings, progress, io);
    tellOutcome();
    io.out.flush();
    io.err.flush();
    signals.writingEnded();
}

bool failed(const UnitUpdate& update) {
    return update.stage == UnitUpdate::Stage::unitGone ||
           (update.stage == UnitUpdate::Stage::ended && !update.report.succeeded);
}

std::string outcomeText(const UnitUpdate& update, Language language) {
    switch (update.stage) {
        case UnitUpdate::Stage::declined:
            return withoutLastLineFeed(cliText(CliText::declined, language));
        case UnitUpdate::Stage::unitGone:
            // As when the first command finds the unit gone: nothing is sent, no code to show.
            return catalogueUtf8(kTextLockFailed, language);
        default: break;
    }
    std::string text = catalogueUtf8(update.report.textId, language);
    if (update.report.hasErrorCodeLine) {
        text += ' ' + errorCodeLine(language, static_cast<std::uint32_t>(update.report.result),
                                    update.report.lastError);
    }
    return text;
}

// One line per unit: its outcome, or that it was not ready; then what to do after a failure.
void printOutcomes(const FoundUnits& found, const std::vector<UnitUpdate>& updates, CliIo& io) {
    io.out << '\n';
    auto update = updates.begin();
    for (const auto& unit : found) {
        io.out << unitName(unit->node) << ": ";
        if (update != updates.end() && update->unit == unit.get()) {
            io.out << outcomeText(*update++, io.language) << '\n';
        } else {
            io.out << cliText(CliText::notReadyLeftAlone, io.language) << '\n';
        }
    }
    if (std::any_of(updates.begin(), updates.end(), [](const UnitUpdate& update) {
            return failed(update) && update.report.textId != kTextUpdateFailedHint;
        })) {
        io.out << '\n' << catalogueUtf8(kTextUpdateFailedHint, io.language) << '\n';
    }
}

int updatesExitCode(const std::vector<UnitUpdate>& updates) {
    const auto stageIs = [](UnitUpdate::Stage stage) {
        return [stage](const UnitUpdate& update) { return update.stage == stage; };
    };
    if (std::all_of(updates.begin(), updates.end(), stageIs(UnitUpdate::Stage::declined))) {
        return kExitDeclined;
    }
    return std::any_of(updates.begin(), updates.end(), failed) ? kExitUpdateFailed : kExitOk;
}

}  // namespace

// One thread for each writing, which takes none of the held signals, so that the notice of one
// comes on this thread, which draws the progress meanwhile: a terminal that takes no output stops
// the drawing alone, never a writing. Tests in virtual time run them through io.runUpdates
// instead, one after the other on this thread, which then draws at once.
void runWritings(const std::vector<std::function<void()>>& writings, UnitsProgress& progress,
                 CliIo& io) {
    if (io.runUpdates) {
        io.runUpdates(writings);
        return;
    }
    std::vector<std::thread> threads;
    {
        const WritingSignals::HeldOff heldOff;  // the threads started meanwhile inherit it
        for (const auto& writing : writings) threads.emplace_back(writing);
    }
    progress.follow([](const std::function<void()>& draw) {
        const WritingSignals::HeldOff heldOff;  // a notice never lands between look and write
        draw();
    });
    for (std::thread& thread : threads) thread.join();  // each has told its end: at once
}

bool takeUnitChoice(const std::vector<std::string>& arguments, std::size_t* at,
                    UnitChoice* choice) {
    const std::string& argument = arguments[*at];
    const bool chosen = choice->all || !choice->device.empty();
    if (argument == "--all" && !chosen) {
        choice->all = true;
        return true;
    }
    if (argument == "--device" && !chosen && *at + 1 < arguments.size() &&
        !arguments[*at + 1].empty()) {
        choice->device = arguments[++*at];
        return true;
    }
    return false;
}

bool chosenUnits(hid::Backend& backend, const UnitChoice& choice,
                 std::vector<hid::DeviceInfo>* units) {
    if (!findUnits(backend, units)) units->clear();
    if (choice.device.empty()) return true;
    const std::string wanted = resolved(choice.device);
    for (const hid::DeviceInfo& unit : *units) {
        if (unit.path == choice.device || resolved(unit.path) == wanted) {
            *units = {unit};
            return true;
        }
    }
    return false;
}

std::string notAUnitNode(const std::string& path, Language language) {
    return cliText(CliText::notAUnit, language, path);
}

int statusOfUnits(const std::vector<hid::DeviceInfo>& units, CliIo& io) {
    FoundUnits found = judgedUnits(units, io.link);
    printUnits(found, io);
    printAdvice(found, io);
    closeAll(found);
    return firstUnitsExitCode(found);
}

int statusAsJson(const std::vector<hid::DeviceInfo>& units, CliIo& io) {
    FoundUnits found = judgedUnits(units, io.link);
    io.out << '[';
    for (std::size_t i = 0; i < found.size(); ++i) {
        io.out << (i > 0 ? ",\n  " : "\n  ") << jsonObject(*found[i]);
    }
    io.out << (found.empty() ? "]\n" : "\n]\n");
    closeAll(found);
    return found.empty() ? kExitNoUnit : firstUnitsExitCode(found);
}

int refuseWithoutChoice(const std::vector<hid::DeviceInfo>& units, bool answerYes, CliIo& io) {
    const std::string command = std::string(kCommand) + (answerYes ? " --yes" : "");
    std::size_t widest = 0;
    for (const hid::DeviceInfo& unit : units) widest = std::max(widest, unit.path.size());
    io.out << cliText(CliText::chooseUnit, io.language);
    for (const hid::DeviceInfo& unit : units) {
        io.out << kIndent << command << " --device " << unit.path
               << std::string(widest - unit.path.size() + 2, ' ') << modelOf(unit) << '\n';
    }
    io.out << kIndent << command << " --all\n";
    return kExitUsage;
}

int updateEveryReadyUnit(const std::vector<hid::DeviceInfo>& units, bool answerYes, CliIo& io,
                         bool* wrote) {
    FoundUnits found = judgedUnits(units, io.link);
    printUnits(found, io);
    std::vector<UnitUpdate> updates;
    for (const auto& unit : found) {
        if (!isReady(*unit)) continue;
        updates.emplace_back();
        updates.back().unit = unit.get();
    }
    if (updates.empty()) io.out << '\n' << cliText(CliText::noUnitReady, io.language);
    if (updates.empty() || !io.out.flush()) {
        closeAll(found);
        return updates.empty() ? firstUnitsExitCode(found) : kExitOutputFailed;
    }
    if (!askAboutUnits(updates, answerYes, io)) {
        closeAll(found);
        io.out << cliText(CliText::declined, io.language);
        return kExitDeclined;
    }
    std::vector<UnitUpdate*> agreed;
    for (UnitUpdate& update : updates) {
        if (update.stage == UnitUpdate::Stage::agreed) agreed.push_back(&update);
    }
    const auto tellOutcome = [&] { printOutcomes(found, updates, io); };
    if (agreed.empty()) {
        tellOutcome();
    } else {
        writeAgreedUnits(agreed, io, wrote, tellOutcome);
    }
    closeAll(found);
    return updatesExitCode(updates);
}

}  // namespace cli
