// Fuzzes the identification with arbitrary replies from the unit: up to three 60-byte replies,
// preceded by two bytes that set the unit's report lengths.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "device/device_session.h"
#include "sim/bench.h"
#include "sim/sim_hid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    sim::reset();
    sim::Device unit = sim::programmingUnit();
    unit.outputReportLength = data[0];
    unit.inputReportLength = data[1];
    sim::plugIn(unit);
    data += 2;
    size -= 2;
    for (unsigned exchange = 0; exchange < 3 && size > 0; ++exchange) {
        const std::size_t length = size < 60 ? size : 60;
        sim::addFault({exchange, sim::FaultKind::scripted, 0, {data, data + length}});
        data += length;
        size -= length;
    }

    sim::BenchBackend backend;
    sim::BenchClock clock;
    DeviceSession session({backend, clock});
    const ResultCode result = openSession(session);
    // The record is open whatever the identification gave, with lengths that fit the buffers.
    if (!isOpen(session) || session.devicePath.empty()) std::abort();
    if (session.outputReportLength > kReportBufferSize ||
        session.inputReportLength > kReportBufferSize) {
        std::abort();
    }
    if (result == kNoUnitPresent || result == kStateNotConfirmed) std::abort();
    if (session.unitMode != 0 && (session.escStatus != 0 || escTypeCode(session) != 0)) {
        std::abort();
    }
    closeSession(session);
    if (sim::openHandleCount() != 0) std::abort();
    return 0;
}
