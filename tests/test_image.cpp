#include "test_image.h"

#include <cstdint>
#include <vector>

#include "flash/firmware_image.h"

namespace test_image {
namespace {

bool& placeholderFlag() {
    static bool placeholder = false;
    return placeholder;
}

// The same bytes on every run: words of a fixed xorshift sequence, so that no two blocks are
// alike and a block sent out of its place shows.
const std::vector<std::uint8_t>& imageBytes() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> made(kBytes);
        std::uint32_t word = 0x2545F491;
        for (std::size_t i = 0; i < kBytes; i += 4) {
            word ^= word << 13;
            word ^= word >> 17;
            word ^= word << 5;
            for (std::size_t b = 0; b < 4; ++b) made[i + b] = std::uint8_t(word >> (8 * b));
        }
        return made;
    }();
    return bytes;
}

}  // namespace

void passForPlaceholder(bool placeholder) { placeholderFlag() = placeholder; }

}  // namespace test_image

FirmwareImage firmwareImage() {
    const std::vector<std::uint8_t>& bytes = test_image::imageBytes();
    static const Sha256Digest digest = sha256(bytes.data(), bytes.size());
    return {bytes.data(), bytes.size(), &digest, test_image::placeholderFlag()};
}
