// A unit's state as a JSON object, for programs that read it (the command-line program's
// `status --json`): its node, its model, the three rows, and its state as a word.
#pragma once

#include <cstdint>
#include <string>

#include "engine/unit_state.h"
#include "engine/version_labels.h"

// The word of a judged state: "ready", "wrong-mode", "no-controller", "incompatible", or
// "no-answer" for a unit that opened but was not identified.
const char* stateWordOf(UnitState state);

// {"path": ..., "productId": ..., "model": ..., "unitFirmware": ..., "escBootloader": ...,
// "escFirmware": ..., "state": ...} on one line, the texts in UTF-8.
std::string unitJson(const std::string& path, std::uint16_t productId, const VersionRows& rows,
                     const char* stateWord);
