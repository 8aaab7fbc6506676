#include "ui/app.h"

#include "ui/format_text.h"

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

namespace {
constexpr unsigned kUpdaterMajorVersion = 1;
constexpr unsigned kUpdaterMinorVersion = 0;
}  // namespace

int buildWindowTitle(wchar_t* buffer, int capacity) {
    return formatText(buffer, capacity, L"BELMARODA %s FW Updater %u.%u %s", kModelName,
                      kUpdaterMajorVersion, kUpdaterMinorVersion, L"Bootloaderupdater");
}
