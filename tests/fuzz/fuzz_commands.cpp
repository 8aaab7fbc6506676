// Fuzzes the bootloader commands with arbitrary replies: the first byte picks the command and its
// argument, the rest is the reply (up to 60 bytes). Each command's result must be one its rule
// can give.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "device/report.h"
#include "flash/commands.h"
#include "sim/bench.h"
#include "sim/sim_hid.h"

namespace {

ResultCode runCommand(DeviceSession& session, std::uint8_t selector) {
    std::uint8_t area[kMaxBlockArea + 8];
    std::memset(area, selector, sizeof area);
    switch (selector % 6) {
        case 0: return setSystemLock(session, selector & 0x80);
        case 1: return setWriteProtection(session, selector & 0x80);
        case 2: return eraseFirmware(session);
        case 3: return setWriteAddress(session, selector * 0x01010101u);
        case 4: return writeBlock(session, area, 48, (selector >> 3) % 16);
        default: return writeBlock(session, area, (selector >> 3) % 64, 12);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    sim::reset();
    sim::Device unit = sim::programmingUnit();
    unit.unit.esc.status = 0;  // one query only, so that the command is exchange 1
    sim::plugIn(unit);
    sim::BenchBackend backend;
    sim::BenchClock clock;
    DeviceSession session({backend, clock});
    if (openSession(session) != kSuccess) std::abort();

    const std::uint8_t selector = data[0];
    const std::size_t length = size - 1 < kReportBufferSize ? size - 1 : kReportBufferSize;
    sim::addFault({1, sim::FaultKind::scripted, 0, {data + 1, data + 1 + length}});
    Report reply{};
    std::memcpy(reply.data(), data + 1, length);

    const ResultCode result = runCommand(session, selector);
    const bool refused = reply[kReplyStatusByte] == kStatusRefused;
    const ResultCode code = static_cast<ResultCode>(readLe32(&reply[kReplyDataByte]));
    // A report with another ID is no reply, whatever it holds.
    const bool notTheInputReport = reply[0] != kInputReportId;
    if (notTheInputReport && result != kReadFailed && result != kNotAvailable) std::abort();
    switch (notTheInputReport ? -1 : selector % 6) {
        case -1: break;
        case 0:  // the echo alone
            if (result != kSuccess && result != kStateNotConfirmed) std::abort();
            break;
        case 1:  // refusal first, then the echo
            if (refused ? result != code : (result != kSuccess && result != kStateNotConfirmed)) {
                std::abort();
            }
            break;
        case 4:
            if (((selector >> 3) % 16) > kMaxBlockWords) {
                if (result != kNotAvailable) std::abort();
                break;
            }
            [[fallthrough]];
        default:
            if (result != kNotAvailable || sim::exchangeCount() != 1) {
                if (result != (refused ? code : kSuccess)) std::abort();
            }
    }
    closeSession(session);
    return 0;
}
