// What an opened programming unit and an update's outcome mean for the user, apart from any
// window: the judgement and the texts that the main window shows and the command-line program
// prints.
#pragma once

#include <cstdint>

#include "device/device_session.h"
#include "flash/update_procedure.h"

enum class UnitState {
    notFound,                // no usable programming unit: none present, or not identified
    wrongMode,               // the unit is in another mode than serving a controller
    noController,            // no updatable controller attached
    ready,                   // the served controller is attached: the update may start
    incompatibleController,  // a controller of another type is attached
};

// Judges the result of opening a unit and what it told, in this order: opened and identified,
// mode, controller status, type code.
UnitState judgeUnit(ResultCode openResult, const DeviceSession& session);

// The unit is open and ready to update.
bool isReadyUnit(const DeviceSession& session);

// The text that tells the user about a state: the status shown above the connection steps, or
// for the ready state the text shown alone.
std::uint16_t statusTextOf(UnitState state);

// What the Hint tells in a state: the ready state's text alone; for every other state its status,
// an empty line and the connection steps, and for an incompatible controller the notice that
// names the model first.
struct HintTexts {
    bool incompatibleNotice;
    std::uint16_t status;
    bool connectionSteps;
};
HintTexts hintTextsOf(UnitState state);

// The text that tells the user which step of an update failed.
std::uint16_t failureTextOf(UpdateStep step);

// The notice about a controller of another type: format (the catalogue's text of
// kTextIncompatibleNotice, in the face's language) with the served model's name. Its length, or
// -1 when it does not fit.
int composeIncompatibleNotice(wchar_t* buffer, int capacity, const wchar_t* format);
