// The controller firmware that the updater carries: an opaque byte string, sent unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "flash/sha256.h"

// The version of the carried firmware, 1.0 (major in the high byte).
constexpr std::uint16_t imageFirmwareVersion = 0x0100;

struct FirmwareImage {
    const std::uint8_t* bytes;  // read-only, lives as long as the program; null when missing
    std::size_t size;
    // The SHA-256 that the build computed from its input file; null when none is known.
    const Sha256Digest* expectedDigest = nullptr;
    // The build's generated stand-in, made when no real image was given: plainly no firmware.
    bool placeholder = false;
};

// Whether the installed controller firmware is the carried one's version or newer, so that the
// user is asked before it is overwritten; no firmware installed (0xFFFF) is never newer.
bool isNotOlderThanImage(std::uint16_t installedVersion);

// The carried image (resource 151 of the Windows programs) with the digest that the build stored
// beside it; no copy is made.
FirmwareImage firmwareImage();

// True when the image's bytes have the digest that came with it: a bit flipped on the way to the
// user or on the disk shows here, before the old firmware is erased.
bool matchesExpectedDigest(const FirmwareImage& image);
