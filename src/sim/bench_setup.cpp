#include "sim/bench_setup.h"

#include <algorithm>

namespace sim {

const Choice kProductChoices[] = {
    {"linkcube", L"LINK-CUBE (product ID 2)"},
    {"linkwave", L"LINKWAVE (product ID 1)"},
};
const std::size_t kProductChoiceCount = sizeof kProductChoices / sizeof kProductChoices[0];

const Choice kAttachmentChoices[] = {
    {"accepted", L"TERVAL 160 LX controller, type 0x110FA0FA"},
    {"accepted-alt", L"TERVAL 160 LX controller, type 0x0A0640FA"},
    {"other-type", L"Controller of another type (0x110FA0FB)"},
    {"no-controller", L"No updatable controller"},
    {"wrong-mode", L"Nothing: the unit is in the wrong mode"},
    {"silent-controller", L"A controller that does not answer"},
    {"stray-report", L"A unit that sends a report unasked, then refuses the last block"},
    {"controller-changes", L"A controller that reports 2.0 when asked again"},
    {"controller-flickers", L"A controller that reports its firmware and 2.0 by turns"},
    {"stray-before-reply", L"A report unasked right before the refusal of block 2"},
};
const std::size_t kAttachmentChoiceCount = sizeof kAttachmentChoices / sizeof kAttachmentChoices[0];

const Choice kFirmwareChoices[] = {
    {"firmware-0.9", L"0.9 (older than the updater's 1.0)"},
    {"firmware-1.0", L"1.0 (the updater's own version)"},
    {"no-firmware", L"None installed"},
};
const std::size_t kFirmwareChoiceCount = sizeof kFirmwareChoices / sizeof kFirmwareChoices[0];

namespace {

constexpr std::uint32_t kAcceptedTypeCode = 0x110FA0FA;

// The words that make the unit refuse one command of an update, with its command code.
struct RefusalWord {
    const char* word;
    std::uint8_t command;
};
constexpr RefusalWord kRefusalWords[] = {
    {"lock-refused", 0x0B},    {"unprotect-refused", 0x20}, {"erase-refused", 0x1E},
    {"address-refused", 0x1F}, {"block-refused", 0x1B},
};
constexpr std::uint32_t kAcceptedTypeCodeAlt = 0x0A0640FA;
constexpr const char* kBlockNeverEndsWord = "block-never-ends";

// The stray report follows the reply to this block.
constexpr unsigned kStrayReportAfterBlock = 10;
// The stray report comes right before the reply to this block, which refuses it with this code.
constexpr unsigned kStrayReportBeforeBlock = 2;
constexpr std::uint32_t kStrayBlockRefusal = 7;
constexpr std::uint16_t kLaterFirmwareVersion = 0x0200;
constexpr std::size_t kBlockBytes = 48;

// Where the last block of an image of this size is written; none for an unknown size.
std::uint32_t lastBlockAddress(std::size_t imageSize) {
    if (imageSize == 0) return kNoAddress;
    return static_cast<std::uint32_t>((imageSize + kBlockBytes - 1) / kBlockBytes - 1) *
           kBlockBytes;
}

// The index of word among choices, or -1.
int choiceIndex(const Choice* choices, std::size_t count, const std::string& word) {
    for (std::size_t i = 0; i < count; ++i) {
        if (word == choices[i].word) return static_cast<int>(i);
    }
    return -1;
}

bool applyWord(const std::string& word, UnitSetup* setup) {
    if (word == "ready") {
        const std::size_t imageSize = setup->imageSize;
        *setup = UnitSetup{};
        setup->imageSize = imageSize;
        return true;
    }
    if (word == "plugged" || word == "unplugged") {
        setup->pluggedIn = word == "plugged";
        return true;
    }
    if (const int i = choiceIndex(kProductChoices, kProductChoiceCount, word); i >= 0) {
        setup->product = static_cast<Product>(i);
        return true;
    }
    if (const int i = choiceIndex(kAttachmentChoices, kAttachmentChoiceCount, word); i >= 0) {
        setup->attachment = static_cast<Attachment>(i);
        return true;
    }
    if (const int i = choiceIndex(kFirmwareChoices, kFirmwareChoiceCount, word); i >= 0) {
        setup->firmware = static_cast<EscFirmware>(i);
        return true;
    }
    if (word == kBlockNeverEndsWord) {
        setup->blockNeverEnds = true;
        return true;
    }
    for (const RefusalWord& refusal : kRefusalWords) {
        if (word == refusal.word) {
            setup->refusedCommand = refusal.command;
            return true;
        }
    }
    return false;
}

std::uint16_t firmwareVersion(EscFirmware firmware) {
    switch (firmware) {
        case EscFirmware::version1_0: return 0x0100;
        case EscFirmware::none: return 0xFFFF;
        default: return 0x0009;
    }
}

// The parts of text between separators, empty ones included.
std::vector<std::string> split(const std::string& text, const char* separators) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = text.find_first_of(separators, at);
        parts.push_back(text.substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos) return parts;
        at = end + 1;
    }
}

}  // namespace

bool parseUnitSetup(const std::string& words, UnitSetup* setup) {
    UnitSetup parsed = *setup;
    for (const std::string& word : split(words, " ,")) {
        if (!word.empty() && !applyWord(word, &parsed)) return false;
    }
    *setup = parsed;
    return true;
}

namespace {

// An entry of a bench list: at least one word, every word known.
bool isWholeEntry(const std::string& part, const UnitSetup& entryStart) {
    UnitSetup setup = entryStart;
    return part.find_first_not_of(' ') != std::string::npos && parseUnitSetup(part, &setup);
}

// The refusal of words that the bench does not know, naming those it knows.
std::string refusalOf(const char* words) {
    return std::string("UPDATER_SIM_BENCH=\"") + words +
           "\" is not a bench that the demo knows. The words it knows: " + knownSetupWords();
}

}  // namespace

bool parseBenchList(const std::string& words, const UnitSetup& entryStart,
                    std::vector<UnitSetup>* setups) {
    const std::vector<std::string> parts = split(words, ",");
    const bool list = parts.size() > 1 && std::all_of(parts.begin(), parts.end(), [&](auto& part) {
                          return isWholeEntry(part, entryStart);
                      });
    std::vector<UnitSetup> parsed;
    for (const std::string& entry : list ? parts : std::vector<std::string>{words}) {
        parsed.push_back(entryStart);
        if (!parseUnitSetup(entry, &parsed.back())) return false;
    }
    *setups = std::move(parsed);
    return true;
}

std::string knownSetupWords() {
    std::string words = "ready plugged unplugged";
    for (const Choice* list : {kProductChoices, kAttachmentChoices, kFirmwareChoices}) {
        const std::size_t count = list == kProductChoices      ? kProductChoiceCount
                                  : list == kAttachmentChoices ? kAttachmentChoiceCount
                                                               : kFirmwareChoiceCount;
        for (std::size_t i = 0; i < count; ++i) words += std::string(" ") + list[i].word;
    }
    for (const RefusalWord& refusal : kRefusalWords) words += std::string(" ") + refusal.word;
    words += std::string(" ") + kBlockNeverEndsWord;
    return words;
}

bool startDemoBench(const char* words, std::size_t imageSize, void (*wait)(std::uint32_t ms),
                    UnitSetup* setup, std::string* refusal) {
    reset();
    setRealTime(true);
    setRealTimeWait(wait);
    *setup = UnitSetup{};
    setup->imageSize = imageSize;
    if (words == nullptr || parseUnitSetup(words, setup)) return true;
    *refusal = refusalOf(words);
    return false;
}

bool startDemoBench(const char* words, std::size_t imageSize, void (*wait)(std::uint32_t ms),
                    std::vector<UnitSetup>* setups, std::string* refusal) {
    reset();
    setRealTime(true);
    setRealTimeWait(wait);
    UnitSetup entryStart;
    entryStart.imageSize = imageSize;
    *setups = {entryStart};
    if (words == nullptr || parseBenchList(words, entryStart, setups)) return true;
    *refusal = refusalOf(words);
    return false;
}

Device unitFor(const UnitSetup& setup) {
    Device device = programmingUnit(setup.product == Product::linkwave ? 1 : 2);
    Unit& unit = device.unit;
    unit.refusedCommand = setup.refusedCommand;
    unit.firstBlockNeverEnds = setup.blockNeverEnds;
    unit.esc.firmwareVersion = firmwareVersion(setup.firmware);
    switch (setup.attachment) {
        case Attachment::acceptedController: unit.esc.typeCode = kAcceptedTypeCode; break;
        case Attachment::acceptedControllerAlt: unit.esc.typeCode = kAcceptedTypeCodeAlt; break;
        case Attachment::otherController: unit.esc.typeCode = kOtherTypeCode; break;
        case Attachment::noController: unit.esc.status = 0; break;
        case Attachment::wrongMode: unit.mode = 1; break;
        case Attachment::silentController:
            unit.esc.typeCode = kAcceptedTypeCode;
            unit.controllerSilent = true;
            break;
        case Attachment::strayReport:
            unit.esc.typeCode = kAcceptedTypeCode;
            unit.strayReportAfterBlock = kStrayReportAfterBlock;
            unit.refusedBlockAddress = lastBlockAddress(setup.imageSize);
            break;
        case Attachment::strayBeforeReply:
            unit.esc.typeCode = kAcceptedTypeCode;
            unit.strayReportBeforeBlock = kStrayReportBeforeBlock;
            unit.refusedBlockAddress = (kStrayReportBeforeBlock - 1) * kBlockBytes;
            unit.refusalCode = kStrayBlockRefusal;
            break;
        case Attachment::controllerChanges:
            unit.esc.typeCode = kAcceptedTypeCode;
            unit.laterFirmwareVersion = kLaterFirmwareVersion;
            break;
        case Attachment::controllerFlickers:
            unit.esc.typeCode = kAcceptedTypeCode;
            unit.laterFirmwareVersion = kLaterFirmwareVersion;
            unit.firmwareAlternates = true;
            break;
    }
    return device;
}

}  // namespace sim
