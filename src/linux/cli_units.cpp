#include "cli_units.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <ostream>

#include "cli_texts.h"
#include "device/device_session.h"
#include "engine/text_ids.h"
#include "engine/unit_json.h"
#include "engine/unit_state.h"
#include "engine/version_labels.h"

namespace cli {
namespace {

constexpr const char* kCommand = "terval-updater-cli update";
constexpr const char* kIndent = "    ";

// The node as the system names it, links followed; the path itself where it names no file.
std::string resolved(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    const std::string name = real;
    free(real);
    return name;
}

int unitExitCode(const FoundUnit& unit) {
    return unit.unavailable != Unavailable::none ? kExitUnavailable : exitCodeOf(unit.state);
}

// The state in a sentence: the status that the Hint would show (its connection steps told once,
// after every unit).
std::string stateText(const FoundUnit& unit, Language language) {
    if (unit.unavailable != Unavailable::none) {
        return withoutLastLineFeed(unavailableText(unit.unavailable, unit.node.path, language));
    }
    switch (unit.state) {
        case UnitState::ready: return catalogueUtf8(kTextTerminalReady, language);
        case UnitState::notFound: return catalogueUtf8(kTextUnitNoAnswer, language);
        default: return catalogueUtf8(statusTextOf(unit.state), language);
    }
}

void printUnit(const FoundUnit& unit, CliIo& io) {
    io.out << unitName(unit.node) << '\n';
    printVersionRows(unit.session, unit.state, io);
    io.out << stateText(unit, io.language) << '\n';
}

// After the list: the incompatible controller's notice and the connection steps where a unit
// needs them, and the command lines that update the ready ones with the note.
void printAdvice(const FoundUnits& found, CliIo& io) {
    const auto any = [&](auto is) { return std::any_of(found.begin(), found.end(), is); };
    if (any([](const auto& unit) {
            return unit->unavailable == Unavailable::none &&
                   unit->state == UnitState::incompatibleController;
        })) {
        io.out << '\n'
               << catalogueUtf8(kTextIncompatibleCaption, io.language) << '\n'
               << incompatibleNotice(io.language) << '\n';
    }
    if (any([](const auto& unit) {
            return unit->unavailable == Unavailable::none && !isReady(*unit);
        })) {
        io.out << '\n' << catalogueUtf8(kTextInstructions, io.language) << '\n';
    }
    const auto ready =
        std::count_if(found.begin(), found.end(), [](const auto& unit) { return isReady(*unit); });
    if (ready == 0) return;
    io.out << '\n' << catalogueUtf8(kTextRunUpdateOfUnits, io.language);
    for (const auto& unit : found) {
        if (!isReady(*unit)) continue;
        io.out << kIndent << kCommand << " --device " << unit->node.path << '\n';
    }
    if (ready > 1) io.out << kIndent << kCommand << " --all\n";
    io.out << '\n' << catalogueUtf8(kTextTerminalReadyNote, io.language) << '\n';
}

// The state as a word of --json.
const char* stateWord(const FoundUnit& unit) {
    if (unit.unavailable == Unavailable::inUse) return "in-use";
    if (unit.unavailable == Unavailable::notPermitted) return "not-permitted";
    return stateWordOf(unit.state);
}

}  // namespace

std::unique_ptr<FoundUnit> judgedUnit(const hid::DeviceInfo& node, const DeviceLink& link) {
    auto unit = std::make_unique<FoundUnit>(link);
    unit->node = node;
    UnitOpenFailure failure;
    unit->state = judgeUnit(openUnit(unit->session, node, &failure), unit->session);
    unit->unavailable = unavailability(unit->session, failure);
    if (unit->state != UnitState::ready) closeSession(unit->session);
    return unit;
}

std::string modelOf(const hid::DeviceInfo& node) {
    UnitView view;
    view.productId = node.productId;
    return utf8(openViewLabels(view).productName);
}

// "/dev/hidraw0 (LINK-CUBE)"
std::string unitName(const hid::DeviceInfo& node) { return node.path + " (" + modelOf(node) + ")"; }

// Each unit opened and judged in turn.
FoundUnits judgedUnits(const std::vector<hid::DeviceInfo>& units, const DeviceLink& link) {
    FoundUnits found;
    for (const hid::DeviceInfo& node : units) found.push_back(judgedUnit(node, link));
    return found;
}

void closeAll(FoundUnits& found) {
    for (auto& unit : found) closeSession(unit->session);
}

bool isReady(const FoundUnit& unit) { return unit.state == UnitState::ready; }

// 0 when every unit is ready, else the code of the first that is not.
int firstUnitsExitCode(const FoundUnits& found) {
    for (const auto& unit : found) {
        if (unitExitCode(*unit) != kExitOk) return unitExitCode(*unit);
    }
    return kExitOk;
}

void printUnits(const FoundUnits& found, CliIo& io) {
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (i > 0) io.out << '\n';
        printUnit(*found[i], io);
    }
}

int exitCodeOf(UnitState state) {
    switch (state) {
        case UnitState::ready: return kExitOk;
        case UnitState::notFound: return kExitNoUnit;
        default: return kExitNotReady;
    }
}

namespace {

constexpr int kCaptionWidth = 20;
constexpr int kLabelWidth = 10;

// A caption padded to its column, counted in characters rather than bytes.
std::string padded(const std::string& text, int width) {
    int characters = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++characters;
    }
    return text + std::string(characters < width ? width - characters : 0, ' ');
}

std::string rightAligned(const std::string& text, int width) {
    return std::string(static_cast<int>(text.size()) < width ? width - text.size() : 0, ' ') + text;
}

}  // namespace

VersionRows shownRows(const DeviceSession& session, UnitState state) {
    const UnitView view = viewOf(session);
    return versionRowsOf(state == UnitState::ready ? &view : nullptr);
}

// The three rows of the Version panel as the window shows them, under row 1's caption.
void printVersionRows(const DeviceSession& session, UnitState state, CliIo& io) {
    const VersionRows rows = shownRows(session, state);
    const std::string captions[3] = {
        rows.row1Name != nullptr ? utf8(rows.row1Name)
                                 : catalogueUtf8(kTextRow1Caption, io.language),
        catalogueUtf8(kTextRow2Caption, io.language), catalogueUtf8(kTextRow3Caption, io.language)};
    for (int row = 0; row < 3; ++row) {
        io.out << padded(captions[row] + ":", kCaptionWidth)
               << rightAligned(utf8(rows.labels[row]), kLabelWidth) << '\n';
    }
}

// What the Hint box says in a state: the ready text alone (with the command that updates, where
// the update does not follow anyway), or the status, an empty line and the connection steps. An
// incompatible controller is named first, as the window's notice does.
void printHint(UnitState state, bool tellCommand, CliIo& io) {
    const HintTexts hint = hintTextsOf(state);
    if (hint.incompatibleNotice) {
        io.out << catalogueUtf8(kTextIncompatibleCaption, io.language) << '\n'
               << incompatibleNotice(io.language) << "\n\n";
    }
    if (!hint.connectionSteps) {
        io.out << readyText(io.language, tellCommand) << '\n';
        return;
    }
    io.out << catalogueUtf8(hint.status, io.language) << '\n'
           << '\n'
           << catalogueUtf8(kTextInstructions, io.language) << '\n';
}

Unavailable unavailability(const DeviceSession& session, const UnitOpenFailure& failure) {
    if (isOpen(session) || failure.path.empty()) return Unavailable::none;
    if (failure.error == EACCES || failure.error == EPERM) return Unavailable::notPermitted;
    if (failure.error == EWOULDBLOCK || failure.error == EAGAIN) return Unavailable::inUse;
    return Unavailable::none;
}

std::string unavailableText(Unavailable why, const std::string& node, Language language) {
    const TextId text = why == Unavailable::inUse ? kTextNodeInUse : kTextNodeNotPermitted;
    return catalogueUtf8(text, language, node);
}

bool chosenUnits(hid::Backend& backend, const std::string& device,
                 std::vector<hid::DeviceInfo>* units) {
    if (!findUnits(backend, units)) units->clear();
    if (device.empty()) return true;
    const std::string wanted = resolved(device);
    for (const hid::DeviceInfo& unit : *units) {
        if (unit.path == device || resolved(unit.path) == wanted) {
            *units = {unit};
            return true;
        }
    }
    return false;
}

std::string notAUnitNode(const std::string& path, Language language) {
    return catalogueUtf8(kTextNotAUnitNode, language, path);
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
        io.out << (i > 0 ? ",\n  " : "\n  ")
               << unitJson(found[i]->node.path, found[i]->node.productId,
                           shownRows(found[i]->session, found[i]->state), stateWord(*found[i]));
    }
    io.out << (found.empty() ? "]\n" : "\n]\n");
    closeAll(found);
    return found.empty() ? kExitNoUnit : firstUnitsExitCode(found);
}

int refuseWithoutChoice(const std::vector<hid::DeviceInfo>& units, bool answerYes, CliIo& io) {
    const std::string command = std::string(kCommand) + (answerYes ? " --yes" : "");
    std::size_t widest = 0;
    for (const hid::DeviceInfo& unit : units) widest = std::max(widest, unit.path.size());
    io.out << catalogueUtf8(kTextChooseUnit, io.language);
    for (const hid::DeviceInfo& unit : units) {
        io.out << kIndent << command << " --device " << unit.path
               << std::string(widest - unit.path.size() + 2, ' ') << modelOf(unit) << '\n';
    }
    io.out << kIndent << command << " --all\n";
    return kExitUsage;
}

}  // namespace cli
