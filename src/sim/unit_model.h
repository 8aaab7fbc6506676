// How a simulated programming unit, and the controller bootloader behind it, answer a request.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/bench.h"

namespace sim {

// Carries out request (report ID in byte 0) on unit and fills reply (60 bytes, report ID in
// byte 0) as the unit would. A refusal carries its code in bytes 4..7 and leaves byte 3 at the
// state in force.
void answerRequest(Unit& unit, const std::uint8_t* request, std::uint8_t* reply);

// Whether the unit answers request at all: a silent controller leaves its identification queries
// unanswered.
bool answers(const Unit& unit, const std::uint8_t* request);

// Whether request is the block whose transfer never ends (Unit::firstBlockNeverEnds); the unit
// then takes it without carrying it out, and answers it never.
bool takesForGood(Unit& unit, const std::uint8_t* request);

// Whether, once the reply to request has been sent, the unit sends a report that nobody asked for.
bool sendsStrayReport(const Unit& unit, const std::uint8_t* request);

// Whether, right before the reply to request, a report arrives that nobody asked for
// (Unit::strayReportBeforeBlock); to be asked once request has been answered.
bool sendsStrayReportBefore(const Unit& unit, const std::uint8_t* request);

// That report: the acceptance of request that the unit would send if it took it, length bytes.
std::vector<std::uint8_t> strayAcceptance(const Unit& unit, const std::uint8_t* request,
                                          std::uint32_t length);

// The reply of a unit that refuses request with code, carrying out nothing.
void refuseRequest(const Unit& unit, const std::uint8_t* request, std::uint32_t code,
                   std::uint8_t* reply);

}  // namespace sim
