#include "ui/app.h"

DeviceSession& appSession() {
    static DeviceSession session;  // closed until the first probe
    return session;
}

namespace {
std::uint32_t openings = 0;
}

ResultCode openAppSession() {
    ++openings;
    const ResultCode result = openSession(appSession());
    appUnitView() = viewOf(appSession());
    return result;
}

UnitView& appUnitView() {
    static UnitView view;
    return view;
}

std::uint32_t appSessionOpening() { return openings; }
