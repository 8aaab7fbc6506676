// The identification queries that follow the opening of the programming unit.
#include <cstring>

#include "device/device_session.h"

namespace {

Report statusQuery() { return makeRequest(kCommandStatus, 0x00); }

Report memoryRead() {
    Report request = makeRequest(kCommandMemoryRead, kUnitInfoLength);
    writeLe32(&request[4], kUnitInfoAddress);
    return request;
}

Report controllerInfoRead() {
    Report request = makeRequest(kCommandControllerInfo, 0x08);
    writeLe32(&request[4], kControllerInfoSize);
    writeLe32(&request[8], static_cast<std::uint32_t>(-static_cast<std::int32_t>(kControllerInfoSize)));
    return request;
}

Report bootloaderInfoRead() { return makeRequest(kCommandBootloaderInfo, 0x00); }

// The unit outside its serving mode: its loader values, then its firmware version from memory.
ResultCode identifyOtherMode(DeviceSession& session, const Report& status) {
    UnitLoaderInfo& info = session.unitLoaderInfo;
    info.loaderInfo1 = status[4];
    info.loaderInfo2 = readLe16(&status[5]);
    info.loaderInfo3 = readLe32(&status[7]);
    info.loaderInfo4 = readLe32(&status[11]);
    info.loaderInfo5 = status[15];

    Report reply{};
    const ResultCode result = exchange(session, memoryRead(), reply, 0);
    if (result != kSuccess) return result;
    session.unitFirmwareVersion = readLe32(&reply[8]);
    session.unitAuxValue = readLe32(&reply[12]);
    return kSuccess;
}

// The attached controller: its firmware block, then its bootloader block.
ResultCode identifyController(DeviceSession& session) {
    Report reply{};
    ResultCode result = exchange(session, controllerInfoRead(), reply, 0);
    if (result != kSuccess) return result;
    result = refusalCode16(reply);
    if (result != kSuccess) return result;
    if (reply[kReplyStatusByte] != kStatusRefused) {
        std::memcpy(session.escInfoBlock, &reply[4], sizeof session.escInfoBlock);
    }

    reply = Report{};
    result = exchange(session, bootloaderInfoRead(), reply, 0);
    if (result != kSuccess) return result;
    if (reply[kReplyStatusByte] == kStatusRefused) return refusalCode16(reply);
    std::memcpy(session.escLoaderBlock, &reply[4], sizeof session.escLoaderBlock);
    return kSuccess;
}

}  // namespace

ResultCode identifyUnit(DeviceSession& session) {
    if (readReportLengths(session) != kSuccess) return kNotAvailable;

    Report status{};
    const ResultCode result = exchange(session, statusQuery(), status, 0);
    if (result != kSuccess) return result;
    session.unitMode = status[kReplyStateByte];
    if (session.unitMode != 0) return identifyOtherMode(session, status);

    session.escStatus = readLe16(&status[4]);
    session.escAuxValue = readLe16(&status[6]);
    session.unitFirmwareVersion = readLe32(&status[8]);
    session.unitAuxValue = readLe32(&status[12]);
    if (session.escStatus != kUpdatableController) return kSuccess;
    return identifyController(session);
}
