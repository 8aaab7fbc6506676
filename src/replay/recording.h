// A session log (device/session_log.h) read back: the image it was made with, and the events that
// a replay serves in their order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/hid.h"

namespace replay {

enum class EventKind {
    unit,       // the unit was opened: unit holds what the enumeration said of it
    out,        // a report was written: bytes
    in,         // a report was read: bytes
    outFailed,  // the write of bytes failed with error
    inFailed,   // the read failed with error
};

struct Event {
    EventKind kind;
    std::size_t line;  // in the log, from 1
    std::vector<std::uint8_t> bytes;
    hid::Error error = 0;
    hid::DeviceInfo unit;
};

struct Recording {
    std::string program;
    std::string imageDigest;  // lower-case hexadecimal, as the header names it
    std::vector<Event> events;
};

// Reads a log's text; false, with *problem naming the line, when a line that the replay serves
// cannot be read. Lines it does not serve (notes, results) are passed over.
bool readRecording(const std::string& text, Recording* recording, std::string* problem);
// The largest file read as a recording: a whole update's log is about 0.7 MB.
constexpr std::size_t kLargestRecording = 16 * 1024 * 1024;
// The same from a file; a larger one (or a device without end) is refused unread.
bool readRecordingFile(const std::string& fileName, Recording* recording, std::string* problem);

}  // namespace replay
