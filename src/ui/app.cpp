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
    return openSession(appSession());
}

std::uint32_t appSessionOpening() { return openings; }
