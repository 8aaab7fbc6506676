// The carried firmware image: the build's input file, byte for byte, behind the accessor, with
// the input file's digest.
#include <gtest/gtest.h>

#include <vector>

#include "flash/firmware_image.h"
#include "firmware_input.h"

namespace {

TEST(FirmwareImage, IsTheBuildInputByteForByte) {
    const FirmwareImage image = firmwareImage();
    const std::vector<std::uint8_t> expected = firmwareInputFile();
    ASSERT_FALSE(expected.empty()) << "cannot read " << UPDATER_FIRMWARE_FILE;
    ASSERT_NE(image.bytes, nullptr);
    ASSERT_EQ(image.size, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.bytes));
    EXPECT_EQ(image.size % 4, 0u);
}

// The digest that the build stored is the input file's, and the carried bytes have it.
TEST(FirmwareImage, ComesWithTheDigestOfTheBuildInput) {
    const FirmwareImage image = firmwareImage();
    const std::vector<std::uint8_t> expected = firmwareInputFile();
    ASSERT_NE(image.expectedDigest, nullptr);
    EXPECT_EQ(*image.expectedDigest, sha256(expected.data(), expected.size()));
    EXPECT_TRUE(matchesExpectedDigest(image));
}

TEST(FirmwareImage, IsTheSameViewEveryTime) {
    EXPECT_EQ(firmwareImage().bytes, firmwareImage().bytes) << "no copy is made";
}

}  // namespace
