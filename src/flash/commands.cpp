#include "flash/commands.h"

#include <cstring>

namespace {

constexpr std::uint8_t kSystemLock = 0x0B;
constexpr std::uint8_t kWriteProtection = 0x20;
constexpr std::uint8_t kErase = 0x1E;
constexpr std::uint8_t kWriteAddress = 0x1F;
constexpr std::uint8_t kWriteBlock = 0x1B;

// Carried by the erase and set-address requests; the bootloader takes neither without it.
constexpr std::uint32_t kUnlockKey = 0x6A2F3C91;

std::uint8_t stateByte(bool state) { return state ? 1 : 0; }

// Sends request and judges the reply by the refusal rule, with the flash commands' 32-bit code.
ResultCode sendRefusable(DeviceSession& session, const Report& request, std::uint32_t pauseMs) {
    Report reply{};
    const ResultCode result = exchange(session, request, reply, pauseMs);
    if (result != kSuccess) return result;
    return refusalCode32(reply);
}

// The two state-setting commands: the state in byte 3, sent as 0x01 or 0x00.
ResultCode sendState(DeviceSession& session, std::uint8_t command, bool state, Report& reply) {
    Report request = makeRequest(command, 0x01);
    request[3] = stateByte(state);
    return exchange(session, request, reply, 0);
}

}  // namespace

ResultCode setSystemLock(DeviceSession& session, bool locked) {
    Report reply{};
    const ResultCode result = sendState(session, kSystemLock, locked, reply);
    if (result != kSuccess) return result;
    return confirmState(reply, stateByte(locked));
}

ResultCode setWriteProtection(DeviceSession& session, bool protect) {
    Report reply{};
    const ResultCode result = sendState(session, kWriteProtection, protect, reply);
    if (result != kSuccess) return result;
    if (reply[kReplyStatusByte] == kStatusRefused) return refusalCode32(reply);
    return confirmState(reply, stateByte(protect));
}

ResultCode eraseFirmware(DeviceSession& session) {
    Report request = makeRequest(kErase, 0x04);
    writeLe32(&request[4], kUnlockKey);
    return sendRefusable(session, request, kEraseReplyPauseMs);
}

ResultCode setWriteAddress(DeviceSession& session, std::uint32_t address) {
    Report request = makeRequest(kWriteAddress, 0x09);
    request[3] = 0x01;
    writeLe32(&request[4], address);
    writeLe32(&request[8], kUnlockKey);
    return sendRefusable(session, request, 0);
}

ResultCode writeBlock(DeviceSession& session, const std::uint8_t* area, std::size_t areaLength,
                      std::uint32_t wordCount) {
    if (wordCount > kMaxBlockWords || areaLength > kMaxBlockArea || areaLength < 4 * wordCount) {
        return kNotAvailable;
    }
    Report request = makeRequest(kWriteBlock, static_cast<std::uint8_t>(4 * wordCount));
    if (areaLength != 0) std::memcpy(&request[4], area, areaLength);
    return sendRefusable(session, request, 0);
}
