// What a person can put on the demo's simulated bench: which programming unit is on the USB port,
// what hangs on it, and whether it is plugged in. The bench window offers the same choices in its
// lists, and the environment variable UPDATER_SIM_BENCH names a start-up setup in words, e.g.
// "linkwave wrong-mode unplugged": one word from any of the lists below, and "plugged" or
// "unplugged". What no word chooses stays as the demo starts by default: a LINK-CUBE serving an
// accepted controller with firmware 0.9, plugged in; the word "ready" names that default unit
// (and sets back what words before it chose). The words "lock-refused",
// "unprotect-refused", "erase-refused", "address-refused" and "block-refused" make the unit
// refuse that command of an update, every time, with sim::kRefusedHardwareFault (not offered in
// the bench window: they serve the tests and whoever wants to see a failed update). The word
// "block-never-ends" makes the unit take the first data block of an update and never end that
// transfer: the write neither completes nor can be cancelled (the demos see a write that runs out
// of time; the virtual unit's bus driver holds the request for good).
//
// The command-line demo takes a list of such entries, one unit each, separated by commas:
// "ready,ready,erase-refused" is three LINK-CUBEs, the third refusing the erase. A comma also
// separates the words of one entry, as it always has; so a text is a list only when each of its
// comma-separated parts is a whole entry of its own (words, all known), and one entry otherwise
// ("accepted-alt,,firmware-1.0" is one unit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/bench.h"

namespace sim {

enum class Product { linkCube, linkwave };
enum class Attachment {
    acceptedController,     // the served model, type code 0x110FA0FA
    acceptedControllerAlt,  // the served model, type code 0x0A0640FA
    otherController,        // a controller of another type
    noController,           // no updatable controller on the unit
    wrongMode,              // the unit is in another mode than serving a controller
    silentController,       // the unit answers, the controller never answers its identification
    strayReport,            // an accepted controller; the unit sends one report nobody asked for
                            // after block 10 and refuses the last block
    controllerChanges,      // an accepted controller that reports firmware 2.0 when asked again
    controllerFlickers,     // one that reports its firmware and 2.0 by turns
    strayBeforeReply,       // an accepted controller; a report nobody asked for arrives right
                            // before the reply to block 2, which refuses the block with code 7
};
enum class EscFirmware { version0_9, version1_0, none };

struct UnitSetup {
    Product product = Product::linkCube;
    Attachment attachment = Attachment::acceptedController;
    EscFirmware firmware = EscFirmware::version0_9;
    bool pluggedIn = true;
    std::uint8_t refusedCommand = 0;  // a command code that the unit refuses; 0: none
    bool blockNeverEnds = false;      // the transfer of the first data block never ends
    // The size of the image that the program sends, so that the unit knows its last block.
    std::size_t imageSize = 0;
};

// One entry of a bench list: its word in UPDATER_SIM_BENCH and its label in the bench window.
// The entries stand in the order of their enumeration's values.
struct Choice {
    const char* word;
    const wchar_t* label;
};
extern const Choice kProductChoices[];
extern const std::size_t kProductChoiceCount;
extern const Choice kAttachmentChoices[];
extern const std::size_t kAttachmentChoiceCount;
extern const Choice kFirmwareChoices[];
extern const std::size_t kFirmwareChoiceCount;

// The type code of the controller of another type: one bit away from an accepted one.
constexpr std::uint32_t kOtherTypeCode = 0x110FA0FB;

// Reads words (separated by spaces or commas, each choosing one thing) onto setup, starting from
// what setup holds. False, with setup unchanged, when a word is not known.
bool parseUnitSetup(const std::string& words, UnitSetup* setup);

// Reads a bench list (see above) into *setups, one setup per unit in the order listed, each
// starting from what *entryStart holds. False, with *setups unchanged, when a word is not known.
bool parseBenchList(const std::string& words, const UnitSetup& entryStart,
                    std::vector<UnitSetup>* setups);

// Every word that parseUnitSetup knows, separated by spaces: for the message that refuses another.
std::string knownSetupWords();

// The demos' start: the bench reset and in real time with the program's own wait, and *setup as
// words say (UPDATER_SIM_BENCH; null: the default start) for a program that sends an image of
// imageSize bytes. False, with *refusal naming the words it knows, for words it does not know:
// a bench that was asked for is never silently replaced by the default.
bool startDemoBench(const char* words, std::size_t imageSize, void (*wait)(std::uint32_t ms),
                    UnitSetup* setup, std::string* refusal);
// The same for a bench list: *setups one setup per unit (the default start: one).
bool startDemoBench(const char* words, std::size_t imageSize, void (*wait)(std::uint32_t ms),
                    std::vector<UnitSetup>* setups, std::string* refusal);

// The programming unit that setup describes, ready to be plugged in.
Device unitFor(const UnitSetup& setup);

}  // namespace sim
