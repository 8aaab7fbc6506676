#include "flash/commands.h"

#include <cstring>

namespace {

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
    const ResultCode result = sendState(session, kCommandSystemLock, locked, reply);
    if (result != kSuccess) return result;
    return confirmState(reply, stateByte(locked));
}

ResultCode setWriteProtection(DeviceSession& session, bool protect) {
    Report reply{};
    const ResultCode result = sendState(session, kCommandWriteProtection, protect, reply);
    if (result != kSuccess) return result;
    if (reply[kReplyStatusByte] == kStatusRefused) return refusalCode32(reply);
    return confirmState(reply, stateByte(protect));
}

ResultCode eraseFirmware(DeviceSession& session) {
    Report request = makeRequest(kCommandErase, 0x04);
    writeLe32(&request[4], kUnlockKey);
    return sendRefusable(session, request, kEraseReplyPauseMs);
}

ResultCode setWriteAddress(DeviceSession& session, std::uint32_t address) {
    Report request = makeRequest(kCommandWriteAddress, 0x09);
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
    Report request = makeRequest(kCommandWriteBlock, static_cast<std::uint8_t>(4 * wordCount));
    if (areaLength != 0) std::memcpy(&request[4], area, areaLength);
    return sendRefusable(session, request, 0);
}
