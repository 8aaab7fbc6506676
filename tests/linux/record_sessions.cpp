// Makes the recorded sessions of the simulated unit in tests/data/recordings again, in virtual
// time and with the test image (those of a real unit stay as they are):
//
//   record-sessions tests/data/recordings
//
// Each is the log that `terval-updater-cli update --log FILE` writes. Not a test: a recording
// made anew differs from the one kept in its start time and system line.
#include <iostream>
#include <sstream>

#include "flash/firmware_image.h"
#include "linux/cli.h"
#include "linux/cli_log.h"
#include "recorded_sessions.h"
#include "sim/sim_hid.h"
#include "sim/bench.h"
#include "sim/bench_setup.h"

namespace {

// Blocks before the first one refused, and exchanges before the 8th block: two identifications
// of three queries each, the lock, the unprotect, the erase and the address, seven blocks.
constexpr std::uint32_t kBlocksBeforeRefused = 10;
constexpr unsigned kExchangesBeforePull = 3 + 3 + 4 + 7;

void setUpBench(recorded::Bench bench) {
    sim::reset();
    sim::UnitSetup setup;
    setup.imageSize = firmwareImage().size;
    if (bench == recorded::Bench::silentController) {
        setup.attachment = sim::Attachment::silentController;
    } else if (bench == recorded::Bench::otherController) {
        setup.attachment = sim::Attachment::otherController;
    } else if (bench == recorded::Bench::firmwareOneZero) {
        setup.firmware = sim::EscFirmware::version1_0;
    }
    sim::Device unit = sim::unitFor(setup);
    if (bench == recorded::Bench::blockRefused) {
        unit.unit.refusedBlockAddress = kBlocksBeforeRefused * 48;
    }
    sim::plugIn(unit);
    if (bench == recorded::Bench::cablePulled) {
        sim::addFault({kExchangesBeforePull, sim::FaultKind::removed, 0});
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: record-sessions FOLDER\n";
        return 64;
    }
    // The bench's virtual clock: the logs' times are those of the updates as they would run.
    sim::BenchBackend backend;
    sim::BenchClock clock;
    int failures = 0;
    for (const recorded::Session& session : recorded::sessions()) {
        if (session.bench == recorded::Bench::realUnit) continue;
        setUpBench(session.bench);
        std::istringstream in(session.answers);
        std::ostringstream out;
        std::ostringstream err;
        CliIo io{in, out, err, nullptr, -1, Language::english, true, nullptr, {backend, clock}};
        std::vector<std::string> arguments = session.arguments;
        const std::string file = std::string(argv[1]) + "/" + session.file;
        arguments.insert(arguments.end(), {"--log", file});
        const int code = runCli(arguments, io);
        std::cout << file << ": exit code " << code << '\n';
        if (code != session.exitCode) ++failures;
    }
    return failures == 0 ? 0 : 1;
}
