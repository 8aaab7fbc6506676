// The bench's state as the simulated HID operations see it.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/bench.h"

namespace sim {

// An open handle of a simulated device, as the simulated HID operations hand it out.
using HandleId = std::uint64_t;

bool interfaceListFails();
// Whether a handle (alone: one that lets no other handle write) cannot be opened on device now,
// as Windows' share modes refuse it: one alone besides any other handle, or any besides one alone.
bool openHandleRefused(const Device& device, bool alone);
HandleId openHandle(Device& device, bool alone);
// The device behind an open handle; null when the handle is unknown or its device was unplugged.
Device* deviceForHandle(HandleId handle);
void closeHandle(HandleId handle);

// The fault planned for the next exchange, if any; counts the exchange.
const Fault* beginExchange();
// A report of the device with this id, sent (out) or received, onto the transcript.
void record(unsigned deviceId, bool out, const std::uint8_t* bytes, std::uint32_t length);

// A reply waiting to be read on a handle, if any.
struct PendingReply {
    bool waiting = false;
    bool readFails = false;
    bool strayFollows = false;  // a copy of it arrives unasked right after it
    std::uint8_t bytes[64] = {};
};
PendingReply& pendingReply(HandleId handle);
// An input report arrives on the handle's queue, behind what it holds.
void queueInput(HandleId handle, std::vector<std::uint8_t> report);
// The oldest input report held for the handle, if any.
bool takeQueuedInput(HandleId handle, std::vector<std::uint8_t>* report);
// Drops what is held and pending for the handle; true when there was anything.
bool flushInput(HandleId handle);

}  // namespace sim
