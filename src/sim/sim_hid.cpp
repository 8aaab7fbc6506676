// The HID operations over the simulated bench, for the tests and the demos.
#include "sim/sim_hid.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "sim/bench_state.h"
#include "sim/unit_model.h"

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorSharingViolation = 32;

bool answersAsUnit(const sim::Device& device) { return device.vendorId == 0x5EA7; }

// Each operation holds the bench for its whole length: the demo's bench window may plug or
// unplug the unit from its own thread at any moment.
using BenchLock = std::lock_guard<std::mutex>;

bool fail(std::uint32_t code, hid::Error* error) {
    *error = code;
    return false;
}

// A handle on the bench, open until it goes.
struct BenchDevice final : hid::Device {
    explicit BenchDevice(sim::HandleId handle) : id(handle) {}
    ~BenchDevice() override {
        const BenchLock hold(sim::benchMutex());
        sim::closeHandle(id);
    }
    sim::HandleId id;
};

sim::HandleId handleOf(hid::Device& device) { return static_cast<BenchDevice&>(device).id; }

hid::OpenDevice openOnBench(const std::string& path, bool alone, hid::Error* error) {
    const BenchLock hold(sim::benchMutex());
    for (sim::Device& device : sim::devices()) {
        if (device.path != path || device.openFails) continue;
        if (sim::openHandleRefused(device, alone)) {
            *error = kErrorSharingViolation;
            return nullptr;
        }
        return std::make_unique<BenchDevice>(sim::openHandle(device, alone));
    }
    *error = kErrorFileNotFound;
    return nullptr;
}

}  // namespace

namespace sim {

using hid::DeviceInfo;
using hid::Error;

bool BenchBackend::enumerate(std::uint16_t vendorId, std::uint16_t productId,
                             std::vector<DeviceInfo>* devices, Error* error) {
    const BenchLock hold(sim::benchMutex());
    devices->clear();
    if (sim::interfaceListFails()) return fail(kErrorNotEnoughMemory, error);
    for (const sim::Device& device : sim::devices()) {
        // An interface whose detail or attributes cannot be read is passed over, as Windows does.
        if (device.detailFails || device.attributesFail || device.vendorId != vendorId) continue;
        if (productId != 0 && device.productId != productId) continue;
        DeviceInfo info{device.path, device.vendorId, device.productId, 0, 0};
        if (!device.capabilitiesFail) {
            info.outputReportLength = device.outputReportLength;
            info.inputReportLength = device.inputReportLength;
        }
        devices->push_back(std::move(info));
    }
    return true;
}

hid::OpenDevice BenchBackend::open(const std::string& path, Error* error) {
    return openOnBench(path, false, error);
}

bool BenchBackend::isInUse(Error error) const { return error == kErrorSharingViolation; }

// As on Windows: the shared handle is closed, then the device opened again alone.
hid::OpenDevice BenchBackend::reopenAlone(hid::OpenDevice device, const std::string& path,
                                          Error* error) {
    device.reset();
    return openOnBench(path, true, error);
}

bool BenchBackend::writeReport(hid::Device& opened, const std::uint8_t* report,
                               std::uint32_t length, std::uint32_t timeoutMs, Error* error) {
    const HandleId handle = handleOf(opened);
    std::unique_lock<std::mutex> hold(sim::benchMutex());
    sim::Device* device = sim::deviceForHandle(handle);
    if (device == nullptr) return fail(sim::kErrorDeviceNotConnected, error);
    if (!answersAsUnit(*device)) return fail(sim::kErrorGenFailure, error);
    const sim::Fault* fault = sim::beginExchange();
    const sim::FaultKind kind = fault != nullptr ? fault->kind : sim::FaultKind::none;
    if (kind == sim::FaultKind::removed) {
        sim::unplug(device->id);
        return fail(sim::kErrorDeviceNotConnected, error);
    }
    if (kind == sim::FaultKind::writeFails) return fail(sim::kErrorGenFailure, error);
    if (length != device->outputReportLength) return fail(sim::kErrorInvalidUserBuffer, error);
    sim::record(device->id, true, report, length);
    if (sim::takesForGood(device->unit, report)) {
        // A transfer that never ends: the caller sees its write run out of time.
        hold.unlock();
        sim::advance(timeoutMs);
        return fail(sim::kErrorTimeout, error);
    }

    // A reply not read yet stays in the handle's queue, as the HID driver keeps it.
    sim::PendingReply& pending = sim::pendingReply(handle);
    if (pending.waiting) {
        sim::queueInput(handle, {pending.bytes, pending.bytes + device->inputReportLength});
    }
    pending = sim::PendingReply{};
    if (fault != nullptr && !fault->arrivesBefore.empty()) {
        sim::queueInput(handle, fault->arrivesBefore);
    }
    if (kind == sim::FaultKind::none && !sim::answers(device->unit, report)) return true;
    switch (kind) {
        case sim::FaultKind::noAnswer: return true;
        case sim::FaultKind::readFails: pending.readFails = true; return true;
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
            pending.strayFollows = sim::sendsStrayReport(device->unit, report);
            if (sim::sendsStrayReportBefore(device->unit, report)) {
                sim::queueInput(
                    handle, sim::strayAcceptance(device->unit, report, device->inputReportLength));
            }
            break;
    }
    if (fault != nullptr && fault->copyFollows) pending.strayFollows = true;
    pending.waiting = true;
    return true;
}

bool BenchBackend::readReport(hid::Device& opened, std::uint8_t* report, std::uint32_t length,
                              std::uint32_t timeoutMs, Error* error) {
    const HandleId handle = handleOf(opened);
    std::unique_lock<std::mutex> hold(sim::benchMutex());
    const sim::Device* device = sim::deviceForHandle(handle);
    if (device == nullptr) return fail(sim::kErrorDeviceNotConnected, error);
    if (length != device->inputReportLength || length > sizeof sim::PendingReply::bytes) {
        return fail(sim::kErrorInvalidUserBuffer, error);
    }
    std::vector<std::uint8_t> queued;
    if (sim::takeQueuedInput(handle, &queued)) {
        // A report held from before: the driver hands it out first, whatever was asked.
        std::memset(report, 0, length);
        std::memcpy(report, queued.data(), std::min<std::size_t>(queued.size(), length));
        sim::record(device->id, false, report, length);
        return true;
    }
    sim::PendingReply& pending = sim::pendingReply(handle);
    if (pending.readFails) {
        pending = sim::PendingReply{};
        return fail(sim::kErrorGenFailure, error);
    }
    if (!pending.waiting) {
        hold.unlock();  // the bench stays free while the bounded wait runs out
        sim::advance(timeoutMs);
        return fail(sim::kErrorTimeout, error);
    }
    std::memcpy(report, pending.bytes, length);
    sim::record(device->id, false, report, length);
    if (pending.strayFollows) sim::queueInput(handle, {report, report + length});
    pending = sim::PendingReply{};
    return true;
}

bool BenchBackend::flushInput(hid::Device& opened) {
    const BenchLock hold(sim::benchMutex());
    return sim::flushInput(handleOf(opened));
}

std::uint64_t BenchClock::nowMs() { return sim::now(); }

void BenchClock::pause(std::uint32_t ms) { sim::advance(ms); }

}  // namespace sim
