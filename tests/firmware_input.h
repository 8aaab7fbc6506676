// The firmware image file that the build was given (UPDATER_FIRMWARE_FILE), read whole, for
// comparing with what the program carries.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

inline std::vector<std::uint8_t> firmwareInputFile() {
    std::ifstream file(UPDATER_FIRMWARE_FILE, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
