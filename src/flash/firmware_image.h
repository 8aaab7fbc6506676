// The controller firmware that the updater carries: an opaque byte string, sent unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

// The version of the carried firmware, 1.0 (major in the high byte).
constexpr std::uint16_t imageFirmwareVersion = 0x0100;

struct FirmwareImage {
    const std::uint8_t* bytes;  // read-only, lives as long as the program; null when missing
    std::size_t size;
    // The build's generated stand-in, made when no real image was given: plainly no firmware.
    bool placeholder = false;
};

// The carried image (resource 151 of the Windows programs); no copy is made.
FirmwareImage firmwareImage();
