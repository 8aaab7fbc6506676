#include "engine/program_title.h"

#include "engine/format_text.h"

namespace {
// The project's version (CMakeLists.txt), which the Windows program's version information
// carries too.
constexpr unsigned kUpdaterMajorVersion = UPDATER_VERSION_MAJOR;
constexpr unsigned kUpdaterMinorVersion = UPDATER_VERSION_MINOR;

#define UPDATER_TEXT_OF(number) #number
#define UPDATER_TEXT(number) UPDATER_TEXT_OF(number)
constexpr const char* kUpdaterVersion =
    UPDATER_TEXT(UPDATER_VERSION_MAJOR) "." UPDATER_TEXT(UPDATER_VERSION_MINOR);
}  // namespace

const char* programVersion() { return kUpdaterVersion; }

int buildProgramTitle(wchar_t* buffer, int capacity) {
    return formatText(buffer, capacity, L"BELMARODA %s FW Updater %u.%u %s", kModelName,
                      kUpdaterMajorVersion, kUpdaterMinorVersion, L"Bootloaderupdater");
}
