// The sessions recorded in tests/data/recordings: how each was made (record_sessions.cpp makes
// those of the simulated unit again) and how each must end when it is replayed
// (replay_test.cpp). Each is a run of `terval-updater-cli update` with the test image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flash/update_procedure.h"
#include "linux/cli.h"
#include "engine/unit_state.h"
#include "engine/update_conversation.h"

namespace recorded {

enum class Bench {
    readyUnit,         // a LINK-CUBE with the served controller at firmware 0.9
    blockRefused,      // ... whose bootloader refuses the 11th block with 0x107
    cablePulled,       // ... pulled out as the 8th block is sent
    silentController,  // the controller never answers its identification
    otherController,   // a controller of another type
    firmwareOneZero,   // the served controller already at 1.0
    realUnit,          // recorded on a real unit: kept as it came, never made again
};

struct Session {
    const char* file;  // in tests/data/recordings
    Bench bench;
    std::vector<std::string> arguments;
    std::string answers;  // typed at the questions
    // How it ends: the program's exit code; the unit as judged, the questions, and the update's
    // outcome in the procedure's terms where it gets that far.
    int exitCode;
    UnitState state;
    Confirmation confirmation;
    bool written;
    UpdateStep failedStep;
    std::int32_t result;
    std::uint32_t lastError;
};

inline const std::vector<Session>& sessions() {
    // clang-format off
    static const std::vector<Session> all = {
        {"whole-update.log", Bench::readyUnit, {"update", "--yes"}, "", kExitOk, UnitState::ready,
         Confirmation::given, true, UpdateStep::lock, 0, 0},
        {"block-refused.log", Bench::blockRefused, {"update", "--yes"}, "", kExitUpdateFailed,
         UnitState::ready, Confirmation::given, true, UpdateStep::block, 0x107, 0},
        {"cable-pulled.log", Bench::cablePulled, {"update", "--yes"}, "", kExitUpdateFailed,
         UnitState::ready, Confirmation::given, true, UpdateStep::block, -2, 1167},
        {"silent-controller.log", Bench::silentController, {"update", "--yes"}, "",
         kExitNoUnit, UnitState::notFound, Confirmation::declined, false, UpdateStep::lock, 0, 0},
        {"incompatible-controller.log", Bench::otherController, {"update", "--yes"}, "",
         kExitNotReady, UnitState::incompatibleController, Confirmation::declined, false,
         UpdateStep::lock, 0, 0},
        {"older-or-same-declined.log", Bench::firmwareOneZero, {"update"}, "y\nn\n", kExitDeclined,
         UnitState::ready, Confirmation::declined, false, UpdateStep::lock, 0, 0},
    };
    // clang-format on
    return all;
}

}  // namespace recorded
