// SHA-256 (FIPS 180-4), for checking that the carried firmware image is the one the build was
// given before any of it is sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest sha256(const std::uint8_t* data, std::size_t size);

// A digest as 64 lower-case hexadecimal digits, as sha256sum prints it.
std::string hexDigest(const Sha256Digest& digest);
