#include "sim/unit_model.h"

#include <algorithm>
#include <cstring>

#include "device/report.h"

namespace sim {
namespace {

constexpr std::uint32_t kUnitInfoAddress = 0x0801FC00;

void refuse(std::uint8_t* reply, std::uint32_t code) {
    reply[kReplyStatusByte] = kStatusRefused;
    writeLe32(&reply[kReplyDataByte], code);
}

// The state that a state-setting command reports back: the one now in force.
std::uint8_t stateInForce(const Unit& unit, std::uint8_t command) {
    if (command == 0x0B) return unit.systemLocked ? 1 : 0;
    if (command == 0x20) return unit.esc.writeProtected ? 1 : 0;
    return 0;
}

void answerStatus(const Unit& unit, std::uint8_t* reply) {
    reply[3] = unit.mode;
    if (unit.mode == 0) {
        writeLe16(&reply[4], unit.esc.status);
        writeLe16(&reply[6], unit.esc.auxValue);
        writeLe32(&reply[8], unit.firmwareVersion);
        writeLe32(&reply[12], unit.auxValue);
    } else {
        std::memcpy(&reply[4], unit.loaderInfo, sizeof unit.loaderInfo);
    }
}

void answerMemoryRead(const Unit& unit, const std::uint8_t* request, std::uint8_t* reply) {
    if (readLe32(&request[4]) != kUnitInfoAddress) return refuse(reply, kRefusedOutOfRange);
    writeLe32(&reply[4], 0xA5A5A5A5);
    writeLe32(&reply[8], unit.firmwareVersion);
    writeLe32(&reply[12], unit.auxValue);
}

void answerControllerInfo(Unit& unit, std::uint8_t* reply) {
    if (unit.esc.status != 3) return refuse(reply, kRefusedNoController);
    std::uint16_t firmware = unit.esc.firmwareVersion;
    const unsigned identification = unit.controllerIdentifications++;
    if (unit.laterFirmwareVersion != 0 && identification > 0) {
        if (!unit.firmwareAlternates) {
            unit.esc.firmwareVersion = firmware = unit.laterFirmwareVersion;
        } else if (identification % 2 == 1) {
            firmware = unit.laterFirmwareVersion;
        }
    }
    for (int i = 0; i < 32; ++i) reply[4 + i] = static_cast<std::uint8_t>(0xC0 + i);
    writeLe16(&reply[8], firmware);
}

void answerBootloaderInfo(const Unit& unit, std::uint8_t* reply) {
    if (unit.esc.status != 3) return refuse(reply, kRefusedNoController);
    for (int i = 0; i < 40; ++i) reply[4 + i] = static_cast<std::uint8_t>(0x80 + i);
    writeLe32(&reply[4], unit.esc.typeCode);
    writeLe32(&reply[8], unit.esc.bootloaderVersion);
}

void answerSystemLock(Unit& unit, const std::uint8_t* request, std::uint8_t* reply) {
    unit.systemLocked = request[3] != 0;
    reply[3] = unit.systemLocked ? 1 : 0;
}

// The bootloader takes commands only while the unit holds the system lock.
bool lockedFor(const Unit& unit, std::uint8_t* reply) {
    if (unit.mode != 0 || unit.esc.status != 3) {
        refuse(reply, kRefusedNoController);
        return false;
    }
    if (!unit.systemLocked) {
        refuse(reply, kRefusedNotLocked);
        return false;
    }
    return true;
}

void answerWriteProtection(Unit& unit, const std::uint8_t* request, std::uint8_t* reply) {
    if (!lockedFor(unit, reply)) return;
    Controller& esc = unit.esc;
    esc.writeProtected = request[3] != 0;
    // Protecting freshly written flash memory makes it the installed firmware.
    if (esc.writeProtected && esc.erased && esc.highestWritten > 0) {
        esc.firmwareVersion = esc.programmedVersion;
    }
    reply[3] = esc.writeProtected ? 1 : 0;
}

bool unlockedFor(const Unit& unit, std::uint32_t key, std::uint8_t* reply) {
    if (!lockedFor(unit, reply)) return false;
    if (unit.esc.writeProtected) {
        refuse(reply, kRefusedWriteProtected);
        return false;
    }
    if (key != kUnlockKey) {
        refuse(reply, kRefusedBadKey);
        return false;
    }
    return true;
}

void answerErase(Unit& unit, const std::uint8_t* request, std::uint8_t* reply) {
    if (!unlockedFor(unit, readLe32(&request[4]), reply)) return;
    Controller& esc = unit.esc;
    std::fill(esc.flash.begin(), esc.flash.end(), 0xFF);
    esc.erased = true;
    esc.highestWritten = 0;
    esc.writeAddress = 0;
    esc.firmwareVersion = 0xFFFF;
}

void answerWriteAddress(Unit& unit, const std::uint8_t* request, std::uint8_t* reply) {
    if (!unlockedFor(unit, readLe32(&request[8]), reply)) return;
    const std::uint32_t address = readLe32(&request[4]);
    if (address >= kFlashSize) return refuse(reply, kRefusedOutOfRange);
    unit.esc.writeAddress = address;
}

void answerWriteBlock(Unit& unit, const std::uint8_t* request, std::uint8_t* reply) {
    if (!unlockedFor(unit, kUnlockKey, reply)) return;
    Controller& esc = unit.esc;
    if (!esc.erased) return refuse(reply, kRefusedNotErased);
    if (esc.writeAddress == unit.refusedBlockAddress) return refuse(reply, unit.refusalCode);
    const std::uint32_t length = request[2];
    if (length > 56 || length % 4 != 0 || esc.writeAddress + length > kFlashSize) {
        return refuse(reply, kRefusedOutOfRange);
    }
    std::memcpy(&esc.flash[esc.writeAddress], &request[4], length);
    esc.writeAddress += length;
    esc.highestWritten = std::max(esc.highestWritten, esc.writeAddress);
}

}  // namespace

void answerRequest(Unit& unit, const std::uint8_t* request, std::uint8_t* reply) {
    std::memset(reply, 0, kReportBufferSize);
    reply[0] = kInputReportId;
    const std::uint8_t command = request[1];
    reply[3] = stateInForce(unit, command);
    if (unit.refusedCommand != 0 && command == unit.refusedCommand) {
        return refuse(reply, unit.refusalCode);
    }
    switch (command) {
        case 0x08: return answerStatus(unit, reply);
        case 0x0A: return answerMemoryRead(unit, request, reply);
        case 0x1D: return answerControllerInfo(unit, reply);
        case 0x22: return answerBootloaderInfo(unit, reply);
        case 0x0B: return answerSystemLock(unit, request, reply);
        case 0x20: return answerWriteProtection(unit, request, reply);
        case 0x1E: return answerErase(unit, request, reply);
        case 0x1F: return answerWriteAddress(unit, request, reply);
        case 0x1B: ++unit.blocksAnswered; return answerWriteBlock(unit, request, reply);
        default: return refuse(reply, kRefusedUnknownCommand);
    }
}

bool sendsStrayReport(const Unit& unit, const std::uint8_t* request) {
    return unit.strayReportAfterBlock != 0 && request[1] == 0x1B &&
           unit.blocksAnswered == unit.strayReportAfterBlock;
}

bool sendsStrayReportBefore(const Unit& unit, const std::uint8_t* request) {
    return unit.strayReportBeforeBlock != 0 && request[1] == 0x1B &&
           unit.blocksAnswered == unit.strayReportBeforeBlock;
}

std::vector<std::uint8_t> strayAcceptance(const Unit& unit, const std::uint8_t* request,
                                          std::uint32_t length) {
    // Answered by a copy that refuses nothing: the unit itself is left as it is.
    Unit copy = unit;
    copy.refusedBlockAddress = kNoAddress;
    copy.refusedCommand = 0;
    std::uint8_t reply[kReportBufferSize] = {};
    answerRequest(copy, request, reply);
    std::vector<std::uint8_t> report(reply, reply + std::min<std::size_t>(length, sizeof reply));
    report.resize(length, 0);
    return report;
}

bool takesForGood(Unit& unit, const std::uint8_t* request) {
    if (!unit.firstBlockNeverEnds || request[1] != 0x1B) return false;
    unit.firstBlockNeverEnds = false;
    return true;
}

bool answers(const Unit& unit, const std::uint8_t* request) {
    const std::uint8_t command = request[1];
    return !(unit.controllerSilent && (command == 0x1D || command == 0x22));
}

void refuseRequest(const Unit& unit, const std::uint8_t* request, std::uint32_t code,
                   std::uint8_t* reply) {
    std::memset(reply, 0, kReportBufferSize);
    reply[0] = kInputReportId;
    const std::uint8_t command = request[1];
    if (command == 0x08 || command == 0x0A) {
        // The queries that change nothing still carry their data; only the status is set.
        Unit copy = unit;
        answerRequest(copy, request, reply);
        reply[kReplyStatusByte] = kStatusRefused;
        return;
    }
    reply[3] = stateInForce(unit, command);
    refuse(reply, code);
}

}  // namespace sim
