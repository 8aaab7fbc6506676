#include "device/device_session.h"

#include <cstring>
#include <utility>
#include <vector>

#include "device/identify_unit.h"

namespace {

// A report must fit the 60-byte buffers. An output report carries a whole 48-byte data block
// behind its four header bytes; an input report carries the 40-byte bootloader block behind its
// four. Shorter reports would cut the data without a word, so such a unit counts as unusable.
constexpr std::uint32_t kMinOutputReportLength = 4 + 48;
constexpr std::uint32_t kMinInputReportLength = 4 + 40;

bool isProgrammingUnit(const hid::DeviceInfo& device) {
    return device.vendorId == kUnitVendorId &&
           (device.productId == kProductIdLinkwave || device.productId == kProductIdLinkCube);
}

bool lengthsFitBuffers(std::uint32_t outputLength, std::uint32_t inputLength) {
    return outputLength >= kMinOutputReportLength && outputLength <= kReportBufferSize &&
           inputLength >= kMinInputReportLength && inputLength <= kReportBufferSize;
}

// Takes the opened unit into the record: its device, path and product, and its report lengths
// when they fit the buffers (otherwise they stay 0, and nothing can be sent).
void takeUnit(DeviceSession& session, hid::OpenDevice device, const hid::DeviceInfo& info) {
    session.handle = std::move(device);
    session.devicePath = info.path;
    session.productId = info.productId;
    if (lengthsFitBuffers(info.outputReportLength, info.inputReportLength)) {
        session.outputReportLength = info.outputReportLength;
        session.inputReportLength = info.inputReportLength;
    }
}

}  // namespace

DeviceSession::DeviceSession(DeviceSession&& other) noexcept
    : backend(other.backend), clock(other.clock), log(other.log) {
    *this = std::move(other);
}

DeviceSession& DeviceSession::operator=(DeviceSession&& other) noexcept {
    if (this == &other) return *this;
    resetToClosed();  // this session's device goes through this session's backend
    backend = other.backend;
    clock = other.clock;
    log = other.log;
    handle = std::move(other.handle);
    devicePath = std::move(other.devicePath);
    outputReportLength = other.outputReportLength;
    inputReportLength = other.inputReportLength;
    unitMode = other.unitMode;
    unitFirmwareVersion = other.unitFirmwareVersion;
    unitAuxValue = other.unitAuxValue;
    escStatus = other.escStatus;
    escAuxValue = other.escAuxValue;
    unitLoaderInfo = other.unitLoaderInfo;
    std::memcpy(escInfoBlock, other.escInfoBlock, sizeof escInfoBlock);
    std::memcpy(escLoaderBlock, other.escLoaderBlock, sizeof escLoaderBlock);
    productId = other.productId;
    lastError = other.lastError;
    updating = other.updating;
    other.resetToClosed();
    return *this;
}

void DeviceSession::resetToClosed() {
    handle.reset();
    devicePath.clear();
    outputReportLength = 0;
    inputReportLength = 0;
    unitMode = 0;
    unitFirmwareVersion = 0;
    unitAuxValue = 0;
    escStatus = 0;
    escAuxValue = 0;
    unitLoaderInfo = UnitLoaderInfo{};
    std::memset(escInfoBlock, 0, sizeof escInfoBlock);
    std::memset(escLoaderBlock, 0, sizeof escLoaderBlock);
    productId = 0;
    lastError = 0;
    updating = false;
}

std::uint16_t escFirmwareVersion(const DeviceSession& session) {
    return readLe16(&session.escInfoBlock[4]);
}

std::uint32_t escTypeCode(const DeviceSession& session) {
    return readLe32(&session.escLoaderBlock[0]);
}

std::uint32_t bootloaderVersion(const DeviceSession& session) {
    return readLe32(&session.escLoaderBlock[4]);
}

bool findUnits(hid::Backend& backend, std::vector<hid::DeviceInfo>* units) {
    units->clear();
    std::vector<hid::DeviceInfo> devices;
    hid::Error error = 0;
    if (!backend.enumerate(kUnitVendorId, 0, &devices, &error)) return false;
    for (hid::DeviceInfo& info : devices) {
        if (isProgrammingUnit(info)) units->push_back(std::move(info));
    }
    return true;
}

ResultCode openUnit(DeviceSession& session, const hid::DeviceInfo& unit, UnitOpenFailure* failure) {
    closeSession(session);
    if (failure != nullptr) *failure = UnitOpenFailure{};
    hid::Error error = 0;
    hid::OpenDevice device = session.backend->open(unit.path, &error);
    if (device == nullptr) {
        // Held by another program or closed to this user: the caller may tell the user why the
        // unit it sees is not used.
        if (failure != nullptr) *failure = {unit.path, error};
        return kNoUnitPresent;
    }
    // Input queued before this program's first request is none of its replies.
    session.backend->flushInput(*device);
    takeUnit(session, std::move(device), unit);
    if (session.log != nullptr) session.log->unitOpened(unit);
    return identifyUnit(session);
}

ResultCode openSession(DeviceSession& session, UnitOpenFailure* failure) {
    closeSession(session);
    if (failure != nullptr) *failure = UnitOpenFailure{};
    std::vector<hid::DeviceInfo> units;
    if (!findUnits(*session.backend, &units)) return kNotAvailable;
    for (const hid::DeviceInfo& unit : units) {
        UnitOpenFailure refused;
        const ResultCode result = openUnit(session, unit, &refused);
        if (isOpen(session)) return result;
        // The search goes on past a unit that would not open; the first one is named.
        if (failure != nullptr && failure->path.empty()) *failure = refused;
    }
    return kNoUnitPresent;
}

SoleWriter holdAsSoleWriter(DeviceSession& session) {
    if (!isOpen(session)) return SoleWriter::lost;
    hid::Error error = 0;
    hid::OpenDevice alone =
        session.backend->reopenAlone(std::move(session.handle), session.devicePath, &error);
    if (alone == nullptr) {
        closeSession(session);
        return session.backend->isInUse(error) ? SoleWriter::inUse : SoleWriter::lost;
    }
    session.handle = std::move(alone);
    return SoleWriter::taken;
}

void closeSession(DeviceSession& session) { session.resetToClosed(); }

ResultCode readReportLengths(const DeviceSession& session) {
    if (!isOpen(session) || session.devicePath.empty()) return kNotAvailable;
    if (!lengthsFitBuffers(session.outputReportLength, session.inputReportLength)) {
        return kNotAvailable;
    }
    return kSuccess;
}

ResultCode identifyUnit(DeviceSession& session) {
    if (readReportLengths(session) != kSuccess) return kNotAvailable;

    UnitReplies replies;
    ResultCode result = exchange(session, statusQuery(), replies.status, 0);
    if (result != kSuccess) return result;
    readUnitIdentity(replies, session);
    if (session.unitMode != 0) {
        result = exchange(session, memoryRead(), replies.memory, 0);
        if (result != kSuccess) return result;
        replies.received = UnitReplies::kMemory;
        return readUnitIdentity(replies, session);
    }
    if (session.escStatus != kUpdatableController) return kSuccess;

    result = exchange(session, controllerInfoRead(), replies.controller, 0);
    if (result != kSuccess) return result;
    replies.received = UnitReplies::kController;
    result = readUnitIdentity(replies, session);
    if (result != kSuccess) return result;

    result = exchange(session, bootloaderInfoRead(), replies.bootloader, 0);
    if (result != kSuccess) return result;
    replies.received |= UnitReplies::kBootloader;
    return readUnitIdentity(replies, session);
}

ResultCode exchange(DeviceSession& session, const Report& request, Report& reply,
                    std::uint32_t pauseMs) {
    if (!isOpen(session)) return kNotAvailable;
    hid::Device& device = *session.handle;
    hid::Backend& backend = *session.backend;
    sessionlog::Log* log = session.log;
    // Only a report that arrives after this request is its reply: another program's query, or a
    // report the unit sent unasked, would otherwise be read in its place and shift every later
    // reply by one. During the update a report still queued here means that the reply taken
    // before may have been such a report, and the unit's own answer the one found now.
    if (backend.flushInput(device) && session.updating) {
        session.lastError = kErrorReportWaiting;
        if (log != nullptr) {
            log->note(
                "a report was waiting before the request: the last reply may not be the "
                "unit's");
        }
        return kWriteFailed;
    }
    if (!backend.writeReport(device, request.data(), session.outputReportLength, kReportTimeoutMs,
                             &session.lastError)) {
        if (log != nullptr) {
            log->writeFailed(request.data(), session.outputReportLength, session.lastError);
        }
        return kWriteFailed;
    }
    if (log != nullptr) log->reportWritten(request.data(), session.outputReportLength);
    if (pauseMs != 0) session.clock->pause(pauseMs);
    reply[0] = kInputReportId;
    if (!backend.readReport(device, reply.data(), session.inputReportLength, kReportTimeoutMs,
                            &session.lastError)) {
        if (log != nullptr) log->readFailed(session.lastError);
        return kReadFailed;
    }
    if (log != nullptr) log->reportRead(reply.data(), session.inputReportLength);
    if (reply[0] != kInputReportId) {
        session.lastError = kErrorNotTheInputReport;
        return kReadFailed;
    }
    session.lastError = 0;
    return kSuccess;
}
