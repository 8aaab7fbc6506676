// The result of every device operation, and the two rules by which a reply is judged.
#pragma once

#include <cstdint>

#include "device/report.h"

// Result of every device operation.
using ResultCode = std::int32_t;
constexpr ResultCode kSuccess = 0;
constexpr ResultCode kNotAvailable = -1;         // no unit open (nothing sent), no device list or
                                                 // capabilities, or a parameter outside its limit
constexpr ResultCode kWriteFailed = -2;          // the output report was not written
constexpr ResultCode kReadFailed = -3;           // the input report was not read
constexpr ResultCode kNoUnitPresent = -4;        // no programming unit among the HID devices
constexpr ResultCode kStateNotConfirmed = 1627;  // the reply did not echo the requested state
// Any other value is an error code that the unit sent with a refusal.

// Refusal rule: 0 unless byte 1 is 0xFF; then the error code from bytes 4.. (0 counts as success).
// The flash commands carry a 32-bit code, the identification queries a 16-bit one.
inline ResultCode refusalCode32(const Report& reply) {
    if (reply[kReplyStatusByte] != kStatusRefused) return kSuccess;
    return static_cast<ResultCode>(readLe32(&reply[kReplyDataByte]));
}

inline ResultCode refusalCode16(const Report& reply) {
    if (reply[kReplyStatusByte] != kStatusRefused) return kSuccess;
    return readLe16(&reply[kReplyDataByte]);
}

// Confirmation rule: 0 when byte 3 holds the requested state, else 1627.
inline ResultCode confirmState(const Report& reply, std::uint8_t state) {
    return reply[kReplyStateByte] == state ? kSuccess : kStateNotConfirmed;
}
