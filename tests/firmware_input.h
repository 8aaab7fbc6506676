// The firmware image file that the build was given (UPDATER_FIRMWARE_FILE), read whole, for
// comparing with what the program carries.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <fstream>
#include <iterator>
#include <vector>

inline std::vector<std::uint8_t> firmwareInputFile() {
    std::ifstream file(UPDATER_FIRMWARE_FILE, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Whether the build's input is its generated placeholder, which says so in its first line.
inline bool inputIsPlaceholder() {
    const std::vector<std::uint8_t> input = firmwareInputFile();
    const std::string mark = "PLACEHOLDER, NOT FIRMWARE";
    return input.size() >= mark.size() && std::equal(mark.begin(), mark.end(), input.begin());
}
