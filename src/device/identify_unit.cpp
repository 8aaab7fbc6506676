#include "device/identify_unit.h"

#include <cstring>

namespace {

// The unit in its serving mode: the controller's state and the unit's own firmware.
void readServingStatus(const Report& status, DeviceSession& session) {
    session.escStatus = readLe16(&status[4]);
    session.escAuxValue = readLe16(&status[6]);
    session.unitFirmwareVersion = readLe32(&status[8]);
    session.unitAuxValue = readLe32(&status[12]);
}

// The unit outside its serving mode: its loader values, then its firmware version from memory.
void readOtherModeStatus(const Report& status, DeviceSession& session) {
    UnitLoaderInfo& info = session.unitLoaderInfo;
    info.loaderInfo1 = status[4];
    info.loaderInfo2 = readLe16(&status[5]);
    info.loaderInfo3 = readLe32(&status[7]);
    info.loaderInfo4 = readLe32(&status[11]);
    info.loaderInfo5 = status[15];
}

void readMemory(const Report& memory, DeviceSession& session) {
    session.unitFirmwareVersion = readLe32(&memory[8]);
    session.unitAuxValue = readLe32(&memory[12]);
}

}  // namespace

Report statusQuery() { return makeRequest(kCommandStatus, 0x00); }

Report memoryRead() {
    Report request = makeRequest(kCommandMemoryRead, kUnitInfoLength);
    writeLe32(&request[4], kUnitInfoAddress);
    return request;
}

Report controllerInfoRead() {
    Report request = makeRequest(kCommandControllerInfo, 0x08);
    writeLe32(&request[4], kControllerInfoSize);
    writeLe32(&request[8],
              static_cast<std::uint32_t>(-static_cast<std::int32_t>(kControllerInfoSize)));
    return request;
}

Report bootloaderInfoRead() { return makeRequest(kCommandBootloaderInfo, 0x00); }

ResultCode readUnitIdentity(const UnitReplies& replies, DeviceSession& session) {
    session.unitMode = replies.status[kReplyStateByte];
    if (session.unitMode != 0) {
        readOtherModeStatus(replies.status, session);
        if ((replies.received & UnitReplies::kMemory) != 0) readMemory(replies.memory, session);
        return kSuccess;
    }
    readServingStatus(replies.status, session);

    if ((replies.received & UnitReplies::kController) == 0) return kSuccess;
    const ResultCode controller = refusalCode16(replies.controller);
    if (controller != kSuccess) return controller;
    if (replies.controller[kReplyStatusByte] != kStatusRefused) {
        std::memcpy(session.escInfoBlock, &replies.controller[4], sizeof session.escInfoBlock);
    }

    if ((replies.received & UnitReplies::kBootloader) == 0) return kSuccess;
    if (replies.bootloader[kReplyStatusByte] == kStatusRefused) {
        return refusalCode16(replies.bootloader);
    }
    std::memcpy(session.escLoaderBlock, &replies.bootloader[4], sizeof session.escLoaderBlock);
    return kSuccess;
}
