// The carried firmware image: the build's input file, byte for byte, behind the accessor.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
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

// The build's generated placeholder says so in its first line; the program never writes it
// into a controller, so the accessor must tell it apart from a real image.
TEST(FirmwareImage, TellsThePlaceholderFromARealImage) {
    const FirmwareImage image = firmwareImage();
    const std::vector<std::uint8_t> input = firmwareInputFile();
    const std::string mark = "PLACEHOLDER, NOT FIRMWARE";
    const bool isPlaceholder =
        input.size() >= mark.size() && std::equal(mark.begin(), mark.end(), input.begin());
    EXPECT_EQ(image.placeholder, isPlaceholder);
}

TEST(FirmwareImage, IsTheSameViewEveryTime) {
    EXPECT_EQ(firmwareImage().bytes, firmwareImage().bytes) << "no copy is made";
}

}  // namespace
