// The firmware image linked into read-only data with the assembler's .incbin, for the programs
// that carry no Windows resources (the Linux command-line program and its demo).
#include "flash/firmware_image.h"

#include "firmware_digest.h"

#ifdef _WIN32
#define UPDATER_RODATA_BEGIN ".section .rdata,\"dr\"\n"
#define UPDATER_RODATA_END ".text\n"
#else
#define UPDATER_RODATA_BEGIN ".pushsection .rodata\n"
#define UPDATER_RODATA_END ".popsection\n"
#endif

asm(UPDATER_RODATA_BEGIN
    ".balign 16\n"
    "updaterFirmwareImageStart:\n"
    ".incbin \"" UPDATER_FIRMWARE_FILE
    "\"\n"
    "updaterFirmwareImageEnd:\n"
    ".byte 0\n"
    ".balign 16\n" UPDATER_RODATA_END);

extern "C" const std::uint8_t updaterFirmwareImageStart[];
extern "C" const std::uint8_t updaterFirmwareImageEnd[];

FirmwareImage firmwareImage() {
    return {updaterFirmwareImageStart,
            static_cast<std::size_t>(updaterFirmwareImageEnd - updaterFirmwareImageStart),
            &kBuildImageDigest, UPDATER_FIRMWARE_PLACEHOLDER != 0};
}
