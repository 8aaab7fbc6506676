#include "ui/app.h"

#include <memory>

namespace {

std::unique_ptr<DeviceSession>& heldSession() {
    // Lives to the end, for the last moments' close of the window.
    static auto* session = new std::unique_ptr<DeviceSession>;
    return *session;
}

}  // namespace

void startAppSession(const DeviceLink& link) {
    std::unique_ptr<DeviceSession>& session = heldSession();
    if (session != nullptr) closeSession(*session);
    session = std::make_unique<DeviceSession>(link);  // closed until the first probe
}

DeviceSession& appSession() { return *heldSession(); }

namespace {
std::uint32_t generation = 0;
}

ResultCode openAppSession() {
    ++generation;
    const ResultCode result = openSession(appSession());
    appUnitView() = viewOf(appSession());
    return result;
}

UnitView& appUnitView() {
    static UnitView view;
    return view;
}

std::uint32_t sessionGeneration() { return generation; }
