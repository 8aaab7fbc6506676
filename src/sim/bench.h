// The simulated bench: the HID devices plugged into the PC, among them programming units with a
// controller behind them, a clock, a fault plan and a transcript of every report.
//
// The model answers the requests that the updater sends, by the request and reply layouts the
// updater relies on. src/sim/sim_hid.cpp puts it behind the HID operations (device/hid.h).
//
// The simulator writes out the protocol's numbers (command codes, the unlock key, the unit's
// information address, status 3, 0xFFFF) itself instead of taking them from the program's
// src/device/protocol.h, on purpose: an independent model catches a wrong number on either side,
// where a shared constant would make both sides wrong together.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// The controller's bootloader refuses with these codes.
constexpr std::uint32_t kRefusedUnknownCommand = 0x0001;
constexpr std::uint32_t kRefusedNotLocked = 0x0101;
constexpr std::uint32_t kRefusedWriteProtected = 0x0102;
constexpr std::uint32_t kRefusedBadKey = 0x0103;
constexpr std::uint32_t kRefusedNotErased = 0x0104;
constexpr std::uint32_t kRefusedOutOfRange = 0x0105;
constexpr std::uint32_t kRefusedNoController = 0x0106;
constexpr std::uint32_t kRefusedHardwareFault = 0x0107;  // the controller's own fault

// Last-error values that the simulated platform leaves behind (Windows' numbers).
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
constexpr std::uint32_t kErrorTimeout = 1460;
constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;

constexpr std::uint32_t kUnlockKey = 0x6A2F3C91;
constexpr std::uint32_t kNoAddress = 0xFFFFFFFF;
constexpr std::uint32_t kFlashSize = 128 * 1024;

// The controller behind the programming unit, with its bootloader.
struct Controller {
    std::uint16_t status = 3;  // 3: an updatable controller is attached
    std::uint16_t auxValue = 0x0007;
    std::uint16_t firmwareVersion = 0x0009;  // 0.9
    std::uint32_t typeCode = 0x110FA0FA;
    std::uint32_t bootloaderVersion = 0x00000105;  // 1.5
    std::uint16_t programmedVersion = 0x0100;      // reported once new firmware has been written
    // Bootloader state.
    bool writeProtected = true;
    bool erased = false;
    std::uint32_t writeAddress = 0;
    std::uint32_t highestWritten = 0;  // one past the last byte written since the erase
    std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(kFlashSize, 0x5A);
};

// A LINK-CUBE or LINKWAVE.
struct Unit {
    std::uint8_t mode = 0;  // 0: serving a controller; anything else: the wrong mode
    std::uint32_t firmwareVersion = 0x00010200;
    std::uint32_t auxValue = 0x00000042;
    std::uint8_t loaderInfo[12] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                                   0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC};
    bool systemLocked = false;
    // The controller takes its identification queries (0x1D, 0x22) and never answers them, so
    // that the read waits out its bound; everything else the unit answers as usual.
    bool controllerSilent = false;
    // A command code that the unit refuses every time with refusalCode, carrying out nothing
    // (the demo's bench arranges a failing step of the update this way); 0 refuses nothing.
    std::uint8_t refusedCommand = 0;
    std::uint32_t refusalCode = kRefusedHardwareFault;
    // The data block written at this address is refused with refusalCode; none when kNoAddress.
    std::uint32_t refusedBlockAddress = kNoAddress;
    // Once it has answered this many data blocks, the unit sends one input report that no request
    // asked for (a copy of its latest reply), as a unit asked by another program would; 0: never.
    unsigned strayReportAfterBlock = 0;
    // When it answers this data block (counted from 1), an input report that no request asked
    // for (an acceptance of the block) arrives right before the reply; 0: never.
    unsigned strayReportBeforeBlock = 0;
    // From the second identification of the controller on, it reports this firmware version
    // (another controller put on the unit behind a question); 0: it never changes.
    std::uint16_t laterFirmwareVersion = 0;
    // With laterFirmwareVersion: the controller reports its own version and the later one by
    // turns, a new one on every identification (a loose contact, or a unit whose replies cannot
    // be trusted), instead of keeping the later one.
    bool firmwareAlternates = false;
    // Bookkeeping of the two above.
    unsigned blocksAnswered = 0;
    unsigned controllerIdentifications = 0;
    // The unit takes the first data block (0x1B) and the transfer never ends: the unit neither
    // answers nor lets the request be completed or cancelled. Cleared once that block is taken.
    bool firstBlockNeverEnds = false;
    Controller esc;
};

// One HID interface on the bench.
struct Device {
    std::string path;  // UTF-8, as the platform's enumeration gives it
    std::uint16_t vendorId = 0x5EA7;
    std::uint16_t productId = 2;
    std::uint16_t outputReportLength = 60;
    std::uint16_t inputReportLength = 60;
    bool detailFails = false;
    bool openFails = false;
    bool attributesFail = false;
    bool capabilitiesFail = false;
    // Another program holds the device open for writing: it cannot be opened alone.
    bool writerElsewhere = false;
    // Input reports that the HID driver holds for the device and hands to every handle opened
    // on it until the handle's queue is flushed: replies meant for another program, say.
    std::vector<std::vector<std::uint8_t>> heldInput;
    Unit unit;  // used only when the device answers as a programming unit
    // Bookkeeping, for the tests.
    unsigned opens = 0;
    unsigned closes = 0;
    unsigned id = 0;  // stable while the device is plugged in
};

enum class FaultKind {
    none,
    writeFails,  // the output report is not written
    readFails,   // the input report is not read
    refuse,      // the unit refuses with `code`; nothing is carried out
    dropEcho,    // carried out, but byte 3 does not echo the requested state
    noAnswer,    // the request is taken, no reply ever comes
    removed,     // the unit is unplugged just before this exchange
    scripted,    // the unit answers with `reply` (leading bytes; the rest zero), doing nothing
};

// A fault at the exchange with the given number, counted from 0 since the bench was reset.
struct Fault {
    unsigned exchange = 0;
    FaultKind kind = FaultKind::writeFails;
    std::uint32_t code = 0;
    std::vector<std::uint8_t> reply = {};
    // An input report that no request asked for, arriving right before this exchange's reply.
    std::vector<std::uint8_t> arrivesBefore = {};
    // A copy of this exchange's reply arrives unasked right after it.
    bool copyFollows = false;
};

struct TranscriptLine {
    std::uint64_t ms;  // on the bench clock
    bool out;
    std::vector<std::uint8_t> bytes;
    unsigned deviceId = 0;  // the device that sent or received it
};

// Guards the bench when a second thread works it while the program runs (the demo's bench window
// plugs and unplugs the unit from its own thread). The simulated HID operations hold it for the
// length of each call, and never while they wait; whoever changes the bench from another thread
// holds it around the change. Single-threaded tests need not take it.
std::mutex& benchMutex();

// A bench of one's own, fresh as after reset(): while it lives, the simulated HID operations and
// every function below work on it, and the bench it replaced comes back when it goes. A test owns
// one, so that nothing of another test's bench reaches it.
class ScopedBench {
public:
    ScopedBench();
    ~ScopedBench();
    ScopedBench(const ScopedBench&) = delete;
    ScopedBench& operator=(const ScopedBench&) = delete;

    struct State;

private:
    State* state_;
    State* replaced_;
};

// Devices presented by the bench, in enumeration order.
std::vector<Device>& devices();

// A programming unit with an accepted controller, ready to update.
Device programmingUnit(std::uint16_t productId = 2, std::string path = "");
// Another HID device, say a mouse.
Device otherDevice(std::uint16_t vendorId, std::uint16_t productId, std::string path = "");

// Puts the bench back to its start: no devices, no faults, clock 0, empty transcript, virtual time.
void reset();

// Plugs a device in (appended to the enumeration) and returns its id; unplugs one by id.
unsigned plugIn(Device device);
void unplug(unsigned id);
Device* findDevice(unsigned id);

// The platform cannot create its list of HID interfaces.
void setInterfaceListFails(bool fails);

void addFault(const Fault& fault);
unsigned exchangeCount();

// The clock, in milliseconds. In virtual time pause() only moves it; in real time it sleeps. The
// clock is the bench's: in virtual time, threads that pause side by side each move it on.
std::uint64_t now();
void advance(std::uint32_t ms);
void setRealTime(bool realTime);
// In real time, how the bench waits: the platform's own wait, which lets the windows' messages
// through meanwhile (the demo); a plain sleep when none is set.
void setRealTimeWait(void (*wait)(std::uint32_t ms));
// Runs at every wait of the bench (a pause, a read waiting out its bound), after the clock has
// moved: what a test lets happen meanwhile, as a window's sent messages are delivered during a
// wait. Cleared by reset().
void setWhileWaiting(std::function<void(std::uint32_t ms)> whileWaiting);
// How often the handles of a device had their input flushed.
unsigned inputFlushes();

const std::vector<TranscriptLine>& transcript();
void clearTranscript();
// "<ms> OUT <hex bytes>" / "<ms> IN <hex bytes>", milliseconds counted from the first report.
std::string transcriptText();
bool writeTranscript(const std::string& fileName);
// The same for the reports of one device alone (by its id), counted from its own first report:
// with several units on the bench, each unit's transcript.
std::string transcriptText(unsigned deviceId);
bool writeTranscript(const std::string& fileName, unsigned deviceId);

// Open handles not yet closed, for leak checks.
unsigned openHandleCount();

}  // namespace sim
