// The firmware image that the tests' programs carry, in place of the one the build is given
// (UPDATER_FIRMWARE_IMAGE): firmwareImage() of flash/firmware_image.h returns it, with the digest
// of its own bytes. The tests take the counts of blocks and the waits from it, so that they pass
// whatever image the build carries.
#pragma once

#include <cstddef>

#include "flash/update_procedure.h"

namespace test_image {

// The length of the real image: whole 4-byte words, and no whole number of blocks, so that the
// last block is a short one.
constexpr std::size_t kBytes = 90224;
constexpr std::size_t kBlocks = (kBytes + kBlockBytes - 1) / kBlockBytes;  // 1879 whole and one
constexpr std::size_t kLastBlockBytes = kBytes - (kBlocks - 1) * kBlockBytes;
static_assert(kBytes % 4 == 0 && kLastBlockBytes < kBlockBytes);

// Whether the image passes for the build's placeholder, which only a simulated unit is given;
// false until set.
void passForPlaceholder(bool placeholder);

}  // namespace test_image
