// The five bootloader commands with which the controller's firmware is rewritten. Each is one
// exchange on the open session, judged by its rule; none retries, closes the session or shows
// anything. After a failed send or read the platform's last error is left as the failing call
// set it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/device_session.h"

// The most a data block carries: 14 words of 32 bits.
constexpr std::uint32_t kMaxBlockWords = 14;
constexpr std::size_t kMaxBlockArea = 4 * kMaxBlockWords;

// The erase is read back no sooner than this after its request.
constexpr std::uint32_t kEraseReplyPauseMs = 1000;

// Sets (locked) or releases the programming unit's system lock; judged by the echo alone.
ResultCode setSystemLock(DeviceSession& session, bool locked);

// Sets (protect) or removes the controller's flash write protection; judged by the refusal
// rule, then the echo.
ResultCode setWriteProtection(DeviceSession& session, bool protect);

// Erases the controller's firmware.
ResultCode eraseFirmware(DeviceSession& session);

// Sets the flash address at which the following blocks are written.
ResultCode setWriteAddress(DeviceSession& session, std::uint32_t address);

// Writes the first wordCount words of area (areaLength bytes, at most 56). The whole area travels
// in the request; only wordCount * 4 bytes are declared. -1 without sending anything when
// wordCount exceeds 14 or the area is longer than 56 bytes or shorter than the declared words.
ResultCode writeBlock(DeviceSession& session, const std::uint8_t* area, std::size_t areaLength,
                      std::uint32_t wordCount);
