// The carried firmware image: the build's input file, byte for byte, behind the accessor, with
// the input file's digest.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <fstream>
#include <sstream>
#endif

#include <algorithm>
#include <string>
#include <vector>

#include "flash/firmware_image.h"
#include "../firmware_input.h"

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

// The build's generated placeholder says so in its first line; the program never writes it
// into a controller, so the accessor must tell it apart from a real image.
TEST(FirmwareImage, TellsThePlaceholderFromARealImage) {
    EXPECT_EQ(firmwareImage().placeholder, inputIsPlaceholder());
}

// No copy is made: the view lies in the program's own read-only data, every time.
TEST(FirmwareImage, LiesInTheProgramsReadOnlyData) {
    const FirmwareImage image = firmwareImage();
    ASSERT_NE(image.bytes, nullptr);
    EXPECT_EQ(firmwareImage().bytes, image.bytes);
#ifdef _WIN32
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_NE(VirtualQuery(image.bytes, &info, sizeof info), 0u);
    EXPECT_EQ(info.AllocationBase, static_cast<void*>(GetModuleHandleW(nullptr)))
        << "not the program's";
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
#else
    // The mapping that holds the image, from the process's own map: "start-end perms ... path".
    const auto address = reinterpret_cast<std::uintptr_t>(image.bytes);
    std::ifstream maps("/proc/self/maps");
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string line;
    bool found = false;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode >> path;
        const std::uintptr_t start = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
        const std::uintptr_t end = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
        if (address < start || address + image.size > end) continue;
        found = true;
        EXPECT_EQ(perms.substr(0, 2), "r-") << "writable: " << line;
        EXPECT_EQ(path, exe) << "not in the program's file: " << line;
    }
    EXPECT_TRUE(found) << "the image lies in no single mapping";
#endif
}

}  // namespace
