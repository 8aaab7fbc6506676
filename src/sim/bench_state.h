// The bench's state as the simulated HID operations see it.
#pragma once

#include <cstdint>
#include <vector>

#include "device/hid.h"
#include "sim/bench.h"

namespace sim {

bool interfaceListFails();
hid::Handle openHandle(Device& device);
// The device behind an open handle; null when the handle is unknown or its device was unplugged.
Device* deviceForHandle(hid::Handle handle);
void closeHandle(hid::Handle handle);

// The fault planned for the next exchange, if any; counts the exchange.
const Fault* beginExchange();
void record(bool out, const std::uint8_t* bytes, std::uint32_t length);

// A reply waiting to be read on a handle, if any.
struct PendingReply {
    bool waiting = false;
    bool readFails = false;
    std::uint8_t bytes[64] = {};
};
PendingReply& pendingReply(hid::Handle handle);
// The oldest input report held for the handle, if any.
bool takeQueuedInput(hid::Handle handle, std::vector<std::uint8_t>* report);
// Drops what is held and pending for the handle.
void flushInput(hid::Handle handle);

void setLastError(std::uint32_t error);
std::uint32_t lastErrorValue();

}  // namespace sim
