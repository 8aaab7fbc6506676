// The HID operations over the simulated bench: the seam that tests and the demo link against.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "device/hid.h"
#include "sim/bench_state.h"
#include "sim/unit_model.h"

namespace {
unsigned liveRecords = 0;  // lists and detail records not yet released

constexpr std::uint32_t kErrorFileNotFound = 2;

bool answersAsUnit(const sim::Device& device) { return device.vendorId == 0x5EA7; }

// Each operation holds the bench for its whole length: the demo's bench window may plug or
// unplug the unit from its own thread at any moment.
using BenchLock = std::lock_guard<std::mutex>;
}  // namespace

namespace hid {

struct InterfaceList {
    std::vector<unsigned> deviceIds;
};

struct InterfaceDetail {
    std::wstring path;
};

InterfaceList* listInterfaces() {
    const BenchLock hold(sim::benchMutex());
    if (sim::interfaceListFails()) return nullptr;
    auto* list = new InterfaceList;
    for (const sim::Device& device : sim::devices()) list->deviceIds.push_back(device.id);
    ++liveRecords;
    return list;
}

void releaseInterfaceList(InterfaceList* list) {
    const BenchLock hold(sim::benchMutex());
    --liveRecords;
    delete list;
}

InterfaceLookup fetchInterfaceDetail(InterfaceList* list, std::uint32_t index,
                                     InterfaceDetail** detail) {
    const BenchLock hold(sim::benchMutex());
    *detail = nullptr;
    if (index >= list->deviceIds.size()) return InterfaceLookup::end;
    const sim::Device* device = sim::findDevice(list->deviceIds[index]);
    if (device == nullptr || device->detailFails) return InterfaceLookup::detailFailed;
    *detail = new InterfaceDetail{device->path};
    ++liveRecords;
    return InterfaceLookup::found;
}

void releaseInterfaceDetail(InterfaceDetail* detail) {
    const BenchLock hold(sim::benchMutex());
    --liveRecords;
    delete detail;
}

const wchar_t* interfacePath(const InterfaceDetail* detail) { return detail->path.c_str(); }

Handle openDevice(const wchar_t* path) {
    const BenchLock hold(sim::benchMutex());
    for (sim::Device& device : sim::devices()) {
        if (device.path == path && !device.openFails) return sim::openHandle(device);
    }
    sim::setLastError(kErrorFileNotFound);
    return kInvalidHandle;
}

void closeDevice(Handle handle) {
    const BenchLock hold(sim::benchMutex());
    sim::closeHandle(handle);
}

bool readAttributes(Handle handle, std::uint16_t* vendorId, std::uint16_t* productId) {
    const BenchLock hold(sim::benchMutex());
    const sim::Device* device = sim::deviceForHandle(handle);
    if (device == nullptr || device->attributesFail) return false;
    *vendorId = device->vendorId;
    *productId = device->productId;
    return true;
}

bool readCapabilities(Handle handle, std::uint16_t* outputLength, std::uint16_t* inputLength) {
    const BenchLock hold(sim::benchMutex());
    const sim::Device* device = sim::deviceForHandle(handle);
    if (device == nullptr || device->capabilitiesFail) return false;
    *outputLength = device->outputReportLength;
    *inputLength = device->inputReportLength;
    return true;
}

bool writeReport(Handle handle, const std::uint8_t* report, std::uint32_t length) {
    const BenchLock hold(sim::benchMutex());
    sim::Device* device = sim::deviceForHandle(handle);
    if (device == nullptr) {
        sim::setLastError(sim::kErrorDeviceNotConnected);
        return false;
    }
    if (!answersAsUnit(*device)) {
        sim::setLastError(sim::kErrorGenFailure);
        return false;
    }
    const sim::Fault* fault = sim::beginExchange();
    const sim::FaultKind kind = fault != nullptr ? fault->kind : sim::FaultKind::none;
    if (kind == sim::FaultKind::removed) {
        sim::unplug(device->id);
        sim::setLastError(sim::kErrorDeviceNotConnected);
        return false;
    }
    if (kind == sim::FaultKind::writeFails) {
        sim::setLastError(sim::kErrorGenFailure);
        return false;
    }
    if (length != device->outputReportLength) {
        sim::setLastError(sim::kErrorInvalidUserBuffer);
        return false;
    }
    sim::record(true, report, length);

    sim::setLastError(0);  // a completed write, as the platform leaves it
    sim::PendingReply& pending = sim::pendingReply(handle);
    pending = sim::PendingReply{};
    if (kind == sim::FaultKind::none && !sim::answers(device->unit, report)) return true;
    switch (kind) {
        case sim::FaultKind::noAnswer:
            return true;
        case sim::FaultKind::readFails:
            pending.readFails = true;
            return true;
        case sim::FaultKind::refuse:
            sim::refuseRequest(device->unit, report, fault->code, pending.bytes);
            break;
        case sim::FaultKind::scripted:
            std::memset(pending.bytes, 0, sizeof pending.bytes);
            std::copy_n(fault->reply.begin(), std::min(fault->reply.size(), sizeof pending.bytes),
                        pending.bytes);
            break;
        case sim::FaultKind::dropEcho:
            sim::answerRequest(device->unit, report, pending.bytes);
            pending.bytes[3] ^= 1;
            break;
        default:
            sim::answerRequest(device->unit, report, pending.bytes);
            break;
    }
    pending.waiting = true;
    return true;
}

bool readReport(Handle handle, std::uint8_t* report, std::uint32_t length) {
    std::unique_lock<std::mutex> hold(sim::benchMutex());
    const sim::Device* device = sim::deviceForHandle(handle);
    if (device == nullptr) {
        sim::setLastError(sim::kErrorDeviceNotConnected);
        return false;
    }
    if (length != device->inputReportLength || length > sizeof sim::PendingReply::bytes) {
        sim::setLastError(sim::kErrorInvalidUserBuffer);
        return false;
    }
    std::vector<std::uint8_t> queued;
    if (sim::takeQueuedInput(handle, &queued)) {
        // A report held from before: the driver hands it out first, whatever was asked.
        std::memset(report, 0, length);
        std::memcpy(report, queued.data(), std::min<std::size_t>(queued.size(), length));
        sim::record(false, report, length);
        sim::setLastError(0);
        return true;
    }
    sim::PendingReply& pending = sim::pendingReply(handle);
    if (pending.readFails) {
        pending = sim::PendingReply{};
        sim::setLastError(sim::kErrorGenFailure);
        return false;
    }
    if (!pending.waiting) {
        sim::setLastError(sim::kErrorTimeout);
        hold.unlock();  // the bench stays free while the bounded wait runs out
        sim::advance(kReportTimeoutMs);
        return false;
    }
    std::memcpy(report, pending.bytes, length);
    sim::record(false, report, length);
    pending = sim::PendingReply{};
    sim::setLastError(0);
    return true;
}

void flushInput(Handle handle) {
    const BenchLock hold(sim::benchMutex());
    sim::flushInput(handle);
}

void pause(std::uint32_t ms) { sim::advance(ms); }

std::uint32_t lastError() {
    const BenchLock hold(sim::benchMutex());
    return sim::lastErrorValue();
}

}  // namespace hid

namespace sim {
unsigned unreleasedInterfaceRecords() {
    const BenchLock hold(benchMutex());
    return liveRecords;
}
}  // namespace sim
