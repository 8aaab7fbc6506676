// A recorded session served as the programming unit: the HID operations answer from a log
// (replay/recording.h) instead of a device. Each request must be the recorded one byte for byte;
// it gets the recorded reply, or the recorded failure with its error (a unit that vanished, a
// reply that never came). A request that differs ends its exchange as a failed write, and the
// replay keeps the first difference for whoever asks.
//
// src/replay/replay_hid.h puts it behind the HID seam, for the demos and the replay tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/hid.h"
#include "replay/recording.h"

namespace replay {

// The error of a write that differs from the recording's: none of a platform's own.
constexpr hid::Error kErrorNotAsRecorded = 0xE0000001;
// The error of a read or an opening that the recording has no counterpart for.
constexpr hid::Error kErrorNotRecorded = 0xE0000002;

// Serves recording from its first event on, forgetting any earlier one.
void serve(Recording recording);

// The first difference between what the program did and the recording, in words; empty while
// there is none.
const std::string& firstDifference();
// Whether every event of the recording has been served.
bool servedWhole();

// The HID operations, as device/hid.h describes them, on the recording. A unit is listed while
// the recording's next event opens it.
bool enumerate(std::uint16_t vendorId, std::uint16_t productId,
               std::vector<hid::DeviceInfo>* devices, hid::Error* error);
bool open(const std::string& path, hid::Error* error);
bool write(const std::uint8_t* report, std::uint32_t length, hid::Error* error);
bool read(std::uint8_t* report, std::uint32_t length, hid::Error* error);

}  // namespace replay
