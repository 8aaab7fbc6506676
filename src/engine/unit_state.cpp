#include "engine/unit_state.h"

#include "engine/format_text.h"
#include "engine/program_title.h"
#include "engine/text_ids.h"

namespace {

bool isAcceptedType(std::uint32_t typeCode) {
    for (std::uint32_t accepted : kAcceptedTypeCodes) {
        if (typeCode == accepted) return true;
    }
    return false;
}

}  // namespace

UnitState judgeUnit(ResultCode openResult, const DeviceSession& session) {
    if (openResult != kSuccess) return UnitState::notFound;
    if (session.unitMode != 0) return UnitState::wrongMode;
    if (session.escStatus != kUpdatableController) return UnitState::noController;
    if (isAcceptedType(escTypeCode(session))) return UnitState::ready;
    return UnitState::incompatibleController;
}

bool isReadyUnit(const DeviceSession& session) {
    return isOpen(session) && judgeUnit(kSuccess, session) == UnitState::ready;
}

std::uint16_t statusTextOf(UnitState state) {
    switch (state) {
        case UnitState::notFound: return kTextNoUnit;
        case UnitState::wrongMode: return kTextWrongMode;
        case UnitState::noController: return kTextNoController;
        case UnitState::ready: return kTextReady;
        case UnitState::incompatibleController: return kTextIncompatible;
    }
    return kTextNoUnit;
}

HintTexts hintTextsOf(UnitState state) {
    return HintTexts{state == UnitState::incompatibleController, statusTextOf(state),
                     state != UnitState::ready};
}

std::uint16_t failureTextOf(UpdateStep step) {
    switch (step) {
        case UpdateStep::lock: return kTextLockFailed;
        case UpdateStep::unprotect: return kTextUnprotectFailed;
        case UpdateStep::erase: return kTextEraseFailed;
        case UpdateStep::address: return kTextAddressFailed;
        case UpdateStep::block: return kTextBlockFailed;
    }
    return kTextUpdateFailedHint;
}

int composeIncompatibleNotice(wchar_t* buffer, int capacity, const wchar_t* format) {
    return formatText(buffer, capacity, format, kModelName);
}
