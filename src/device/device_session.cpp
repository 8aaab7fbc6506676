#include "device/device_session.h"

#include <cstring>
#include <cwchar>
#include <utility>

namespace {

// A report must fit the 60-byte buffers. An output report carries a whole 48-byte data block
// behind its four header bytes; an input report carries the 40-byte bootloader block behind its
// four. Shorter reports would cut the data without a word, so such a unit counts as unusable.
constexpr std::uint32_t kMinOutputReportLength = 4 + 48;
constexpr std::uint32_t kMinInputReportLength = 4 + 40;

bool isProgrammingUnit(std::uint16_t vendorId, std::uint16_t productId) {
    return vendorId == kUnitVendorId &&
           (productId == kProductIdLinkwave || productId == kProductIdLinkCube);
}

bool lengthsFitBuffers(std::uint32_t outputLength, std::uint32_t inputLength) {
    return outputLength >= kMinOutputReportLength && outputLength <= kReportBufferSize &&
           inputLength >= kMinInputReportLength && inputLength <= kReportBufferSize;
}

wchar_t* copyPath(const wchar_t* path) {
    const std::size_t length = std::wcslen(path);
    wchar_t* copy = new wchar_t[length + 1];
    std::wmemcpy(copy, path, length + 1);
    return copy;
}

// Opens the device behind detail if it is a programming unit. A device that opens but does not
// match (or whose attributes cannot be read) is closed again at once.
hid::Handle openIfUnit(const hid::InterfaceDetail* detail, std::uint16_t* productId) {
    const hid::Handle handle = hid::openDevice(hid::interfacePath(detail));
    if (handle == hid::kInvalidHandle) return hid::kInvalidHandle;
    std::uint16_t vendorId = 0;
    if (hid::readAttributes(handle, &vendorId, productId) &&
        isProgrammingUnit(vendorId, *productId)) {
        return handle;
    }
    hid::closeDevice(handle);
    return hid::kInvalidHandle;
}

}  // namespace

DeviceSession::DeviceSession(DeviceSession&& other) noexcept { *this = std::move(other); }

DeviceSession& DeviceSession::operator=(DeviceSession&& other) noexcept {
    if (this == &other) return *this;
    handle = other.handle;
    devicePath = other.devicePath;
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
    other.devicePath = nullptr;
    other.resetToClosed();
    return *this;
}

void DeviceSession::resetToClosed() {
    handle = hid::kInvalidHandle;
    devicePath = nullptr;
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
}

std::uint16_t escFirmwareVersion(const DeviceSession& session) {
    return readLe16(&session.escInfoBlock[4]);
}

void setEscFirmwareVersion(DeviceSession& session, std::uint16_t version) {
    writeLe16(&session.escInfoBlock[4], version);
}

std::uint32_t escTypeCode(const DeviceSession& session) {
    return readLe32(&session.escLoaderBlock[0]);
}

std::uint32_t bootloaderVersion(const DeviceSession& session) {
    return readLe32(&session.escLoaderBlock[4]);
}

ResultCode openSession(DeviceSession& session) {
    closeSession(session);
    hid::InterfaceList* list = hid::listInterfaces();
    if (list == nullptr) return kNotAvailable;

    for (std::uint32_t index = 0;; ++index) {
        hid::InterfaceDetail* detail = nullptr;
        const hid::InterfaceLookup lookup = hid::fetchInterfaceDetail(list, index, &detail);
        if (lookup == hid::InterfaceLookup::end) break;
        if (lookup == hid::InterfaceLookup::detailFailed) continue;

        std::uint16_t productId = 0;
        const hid::Handle handle = openIfUnit(detail, &productId);
        if (handle != hid::kInvalidHandle) {
            session.productId = productId;
            session.handle = handle;
            session.devicePath = copyPath(hid::interfacePath(detail));
            hid::flushInput(handle);
            hid::releaseInterfaceDetail(detail);
            hid::releaseInterfaceList(list);
            return identifyUnit(session);
        }
        hid::releaseInterfaceDetail(detail);
    }
    hid::releaseInterfaceList(list);
    return kNoUnitPresent;
}

void closeSession(DeviceSession& session) {
    if (session.handle != hid::kInvalidHandle) hid::closeDevice(session.handle);
    delete[] session.devicePath;
    session.resetToClosed();
}

ResultCode readReportLengths(DeviceSession& session) {
    if (session.handle == hid::kInvalidHandle || session.devicePath == nullptr) {
        return kNotAvailable;
    }
    std::uint16_t outputLength = 0;
    std::uint16_t inputLength = 0;
    if (!hid::readCapabilities(session.handle, &outputLength, &inputLength)) return kNotAvailable;
    if (!lengthsFitBuffers(outputLength, inputLength)) return kNotAvailable;
    session.outputReportLength = outputLength;
    session.inputReportLength = inputLength;
    return kSuccess;
}

ResultCode exchange(DeviceSession& session, const Report& request, Report& reply,
                    std::uint32_t pauseMs) {
    if (session.handle == hid::kInvalidHandle) return kNotAvailable;
    if (!hid::writeReport(session.handle, request.data(), session.outputReportLength)) {
        return kWriteFailed;
    }
    if (pauseMs != 0) hid::pause(pauseMs);
    reply[0] = kInputReportId;
    if (!hid::readReport(session.handle, reply.data(), session.inputReportLength)) {
        return kReadFailed;
    }
    return kSuccess;
}

ResultCode refusalCode32(const Report& reply) {
    if (reply[kReplyStatusByte] != kStatusRefused) return kSuccess;
    return static_cast<ResultCode>(readLe32(&reply[kReplyDataByte]));
}

ResultCode refusalCode16(const Report& reply) {
    if (reply[kReplyStatusByte] != kStatusRefused) return kSuccess;
    return readLe16(&reply[kReplyDataByte]);
}

ResultCode confirmState(const Report& reply, std::uint8_t state) {
    return reply[kReplyStateByte] == state ? kSuccess : kStateNotConfirmed;
}
