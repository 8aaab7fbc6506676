// The record of a run's sessions with the programming unit, for support and for replaying them
// as tests: a header (the program, the carried image's digest, the system, the start), then
// every unit opened, every report sent and received and every failed transfer with the
// platform's error, with the steps' results and the outcome between them.
//
// The device link records into memory as it goes (a copy of each report, no formatting, no file);
// the text is made and written only when the program asks, between the update's timed waits or
// after them. Each write puts the whole log in place at once (a new file renamed over the old), so
// that a full disk leaves the last whole version or none, never a part. A log that cannot be
// written changes nothing else; the program may ask whether it was (lost) and say so.
//
//   # program: terval-updater-cli 1.0
//   # image sha256: 5c0e...
//   # system: Linux 6.1.0 x86_64
//   # started: 2026-12-10T15:51:28Z
//   # 0 unit vendor 5ea7 product 0002 output 60 input 60 path /dev/hidraw3
//   3 OUT 01 08 00 00 ...
//   4 IN 02 00 00 00 ...
//   # 5123 OUT failed, error 1167: 01 1b 30 ...
//   # 5124 IN failed, error 1460
//   # 6000 step lock: result 0x00000000, last error 0x00000000
//   # 48000 outcome: the update succeeded
//
// Times are milliseconds since the log's start. Nothing about the user goes in: no user or host
// name, and no path but the unit's.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "device/clock.h"
#include "device/hid.h"

namespace sessionlog {

// The header's keys, as the replay reads them back.
constexpr const char* kProgramKey = "program";
constexpr const char* kImageDigestKey = "image sha256";
constexpr const char* kSystemKey = "system";
constexpr const char* kStartedKey = "started";
// The words of the lines that the replay serves.
constexpr const char* kUnitWord = "unit";
constexpr const char* kOutWord = "OUT";
constexpr const char* kInWord = "IN";
constexpr const char* kFailedWord = "failed,";
// How many logs a folder keeps: the newest.
constexpr unsigned kLogsKept = 20;

struct Header {
    std::string program;      // name and version
    std::string imageDigest;  // the carried image's SHA-256, lower-case hexadecimal
    std::string system;       // the operating system, its version and the machine
};

// Where the text goes: a file named by the caller, or a new file in a folder (named by the
// start time, created exclusively), of which the folder keeps the newest kLogsKept, the run's
// own always among them. Neither: recorded, not written. New files are their owner's alone
// (0600, in a 0700 folder on Linux).
struct Destination {
    std::string file;    // UTF-8
    std::string folder;  // UTF-8; created when missing
    // In the folder, appended to the start time's name: which of several logs started together
    // this one is ("-hidraw3" for a unit's).
    std::string nameSuffix = "";
};

// The name, without ".log", of a log started at that time: its UTC date and time to the
// millisecond, so that names sort by start.
std::string logNameAt(std::chrono::system_clock::time_point start);

// One log: the program makes it and hands it to the session it records (several sessions, each
// its own). Not started, it records nothing.
class Log {
public:
    Log();
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Starts the log now, forgetting anything recorded before. Its times count the milliseconds
    // of clock (which must outlive the log's recording) from this call.
    void start(const Header& header, const Destination& destination, Clock& clock);
    // Stops recording and forgets what was recorded and not written.
    void stop();

    // What the device link records; nothing while the log is not started.
    void unitOpened(const hid::DeviceInfo& unit);
    void reportWritten(const std::uint8_t* report, std::uint32_t length);
    void writeFailed(const std::uint8_t* report, std::uint32_t length, hid::Error error);
    void reportRead(const std::uint8_t* report, std::uint32_t length);
    void readFailed(hid::Error error);
    // A "#" line with its time: a step's result, the outcome.
    void note(const std::string& text);
    // A step's result and the platform's last error read for it, as a note.
    void noteResult(const char* step, std::int32_t result, std::uint32_t lastError);

    // Writes the whole log, the header first, over what an earlier write of the run put there;
    // nothing before a unit was opened. False when there is no file to show: nothing opened, or
    // it could not be written.
    bool write();
    // Whether the last write failed: the file then holds an earlier write's whole text, or there
    // is none. A later write tries again.
    bool lost() const;
    // The file written, UTF-8; empty until the first write succeeded.
    std::string fileName() const;

    // The whole text of the log as a write puts it in the file.
    std::string text() const;

    struct State;

private:
    State* state_;
};

}  // namespace sessionlog
