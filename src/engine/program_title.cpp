#include "engine/program_title.h"

#include "engine/format_text.h"

namespace {
// The project's version (CMakeLists.txt), which the Windows program's version information
// carries too.
constexpr unsigned kUpdaterMajorVersion = UPDATER_VERSION_MAJOR;
constexpr unsigned kUpdaterMinorVersion = UPDATER_VERSION_MINOR;
}  // namespace

int buildProgramTitle(wchar_t* buffer, int capacity) {
    return formatText(buffer, capacity, L"BELMARODA %s FW Updater %u.%u %s", kModelName,
                      kUpdaterMajorVersion, kUpdaterMinorVersion, L"Bootloaderupdater");
}
