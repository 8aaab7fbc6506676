#include "engine/program_title.h"

#include "engine/format_text.h"

namespace {
constexpr unsigned kUpdaterMajorVersion = 1;
constexpr unsigned kUpdaterMinorVersion = 0;
}  // namespace

int buildProgramTitle(wchar_t* buffer, int capacity) {
    return formatText(buffer, capacity, L"BELMARODA %s FW Updater %u.%u %s", kModelName,
                      kUpdaterMajorVersion, kUpdaterMinorVersion, L"Bootloaderupdater");
}
