#include "win32/string_table.h"

#include <algorithm>

namespace {

std::uint16_t unitAt(const std::uint8_t* block, std::size_t unit) {
    return static_cast<std::uint16_t>(block[2 * unit] | block[2 * unit + 1] << 8);
}

}  // namespace

int copyTableString(const std::uint8_t* block, std::size_t size, std::uint16_t id, wchar_t* buffer,
                    int capacity) {
    if (capacity <= 0) return 0;
    buffer[0] = L'\0';
    if (block == nullptr) return 0;
    const std::size_t units = size / 2;
    std::size_t at = 0;  // in units
    for (unsigned slot = 0; slot < id % 16u; ++slot) {
        if (at >= units) return 0;
        at += 1 + std::size_t{unitAt(block, at)};
    }
    if (at >= units) return 0;
    const std::size_t length = unitAt(block, at);
    if (length > units - at - 1) return 0;  // the block ends inside the text
    const std::size_t copied = std::min(length, static_cast<std::size_t>(capacity) - 1);
    for (std::size_t i = 0; i < copied; ++i) {
        buffer[i] = static_cast<wchar_t>(unitAt(block, at + 1 + i));
    }
    buffer[copied] = L'\0';
    return static_cast<int>(copied);
}
