// The programming unit's protocol as the program uses it: one place for each of its numbers.
// (The simulated unit in src/sim/ keeps numbers of its own on purpose; see src/sim/bench.h.)
#pragma once

#include <cstdint>

// The programming unit on the USB bus.
constexpr std::uint16_t kUnitVendorId = 0x5EA7;
constexpr std::uint16_t kProductIdLinkwave = 1;
constexpr std::uint16_t kProductIdLinkCube = 2;

// Command codes (request byte 1).
constexpr std::uint8_t kCommandStatus = 0x08;
constexpr std::uint8_t kCommandMemoryRead = 0x0A;
constexpr std::uint8_t kCommandControllerInfo = 0x1D;
constexpr std::uint8_t kCommandBootloaderInfo = 0x22;
constexpr std::uint8_t kCommandSystemLock = 0x0B;
constexpr std::uint8_t kCommandWriteProtection = 0x20;
constexpr std::uint8_t kCommandErase = 0x1E;
constexpr std::uint8_t kCommandWriteAddress = 0x1F;
constexpr std::uint8_t kCommandWriteBlock = 0x1B;

// Where a unit outside its serving mode keeps its firmware version, and how much is read there.
constexpr std::uint32_t kUnitInfoAddress = 0x0801FC00;
constexpr std::uint8_t kUnitInfoLength = 12;
// The size of the controller's information block.
constexpr std::uint32_t kControllerInfoSize = 32;

// The controller status of a unit that has an updatable controller attached.
constexpr std::uint16_t kUpdatableController = 3;
// The controller firmware version that means none is installed.
constexpr std::uint16_t kNoFirmwareInstalled = 0xFFFF;

// Carried by the erase and set-address requests; the bootloader takes neither without it.
constexpr std::uint32_t kUnlockKey = 0x6A2F3C91;

// The type codes of the one controller model that this updater serves.
constexpr std::uint32_t kAcceptedTypeCodes[] = {0x110FA0FA, 0x0A0640FA};
