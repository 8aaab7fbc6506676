#include "replay/replay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace replay {
namespace {

struct Served {
    Recording recording;
    std::size_t next = 0;    // the event to be served next
    unsigned requests = 0;   // requests served so far
    std::string difference;  // the first one
};

Served& served() {
    static Served* current = new Served;
    return *current;
}

const Event* nextEvent() {
    const Served& current = served();
    if (!current.difference.empty() || current.next >= current.recording.events.size()) {
        return nullptr;
    }
    return &current.recording.events[current.next];
}

bool differs(std::string text, hid::Error code, hid::Error* error) {
    if (served().difference.empty()) served().difference = std::move(text);
    *error = code;
    return false;
}

std::string where(const Event* event) {
    return event != nullptr ? "line " + std::to_string(event->line) + " of the recording"
                            : "the end of the recording";
}

std::string hexByte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", byte);
    return text;
}

// Where request differs from the recorded one: its byte, or its length; npos when it does not.
std::size_t firstDifferingByte(const std::vector<std::uint8_t>& recorded,
                               const std::uint8_t* request, std::uint32_t length) {
    for (std::size_t i = 0; i < length && i < recorded.size(); ++i) {
        if (recorded[i] != request[i]) return i;
    }
    return recorded.size() == length ? std::string::npos
                                     : std::min<std::size_t>(length, recorded.size());
}

}  // namespace

void serve(Recording recording) {
    served() = Served{};
    served().recording = std::move(recording);
}

const std::string& firstDifference() { return served().difference; }

bool servedWhole() {
    return served().difference.empty() && served().next == served().recording.events.size();
}

bool enumerate(std::uint16_t vendorId, std::uint16_t productId,
               std::vector<hid::DeviceInfo>* devices, hid::Error* /*error*/) {
    devices->clear();
    const Event* event = nextEvent();
    if (event == nullptr || event->kind != EventKind::unit) return true;
    if (event->unit.vendorId != vendorId) return true;
    if (productId != 0 && event->unit.productId != productId) return true;
    devices->push_back(event->unit);
    return true;
}

bool open(const std::string& path, hid::Error* error) {
    const Event* event = nextEvent();
    if (event == nullptr || event->kind != EventKind::unit || event->unit.path != path) {
        *error = kErrorNotRecorded;
        return false;
    }
    ++served().next;
    return true;
}

bool write(const std::uint8_t* report, std::uint32_t length, hid::Error* error) {
    const Event* event = nextEvent();
    const unsigned number = ++served().requests;
    if (!served().difference.empty()) return differs("", kErrorNotAsRecorded, error);
    const std::string request = "request " + std::to_string(number);
    if (event == nullptr ||
        (event->kind != EventKind::out && event->kind != EventKind::outFailed)) {
        return differs(request + " (command " + hexByte(length > 1 ? report[1] : 0) +
                           ") was sent where " + where(event) + " has none",
                       kErrorNotAsRecorded, error);
    }
    const std::size_t at = firstDifferingByte(event->bytes, report, length);
    if (at != std::string::npos) {
        const std::string sent = at < length ? hexByte(report[at]) : "nothing";
        const std::string recorded =
            at < event->bytes.size() ? hexByte(event->bytes[at]) : "nothing";
        return differs(request + " differs from " + where(event) + " at byte " +
                           std::to_string(at) + ": " + sent + " sent, " + recorded + " recorded",
                       kErrorNotAsRecorded, error);
    }
    ++served().next;
    if (event->kind == EventKind::outFailed) {
        *error = event->error;
        return false;
    }
    return true;
}

bool read(std::uint8_t* report, std::uint32_t length, hid::Error* error) {
    const Event* event = nextEvent();
    if (!served().difference.empty()) return differs("", kErrorNotRecorded, error);
    if (event == nullptr || (event->kind != EventKind::in && event->kind != EventKind::inFailed)) {
        return differs("a reply was read where " + where(event) + " has none", kErrorNotRecorded,
                       error);
    }
    if (event->kind == EventKind::in && event->bytes.size() != length) {
        return differs("a reply of " + std::to_string(length) + " bytes was read where " +
                           where(event) + " has " + std::to_string(event->bytes.size()),
                       kErrorNotRecorded, error);
    }
    ++served().next;
    if (event->kind == EventKind::inFailed) {
        *error = event->error;
        return false;
    }
    std::memcpy(report, event->bytes.data(), length);
    return true;
}

}  // namespace replay
