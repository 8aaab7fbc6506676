// Resource 151 as a Windows program carries it: found whatever the user's language, equal to the
// build's input file and with its digest, and read where it lies in the executable's read-only
// data.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "flash/firmware_image.h"
#include "../firmware_input.h"

namespace {

TEST(FirmwareResource, IsFoundAndEqualsTheInputFile) {
    const FirmwareImage image = firmwareImage();
    const std::vector<std::uint8_t> expected = firmwareInputFile();
    ASSERT_FALSE(expected.empty()) << "cannot read " << UPDATER_FIRMWARE_FILE;
    ASSERT_NE(image.bytes, nullptr)
        << "resource 151 not found for language " << std::hex << GetUserDefaultUILanguage();
    ASSERT_EQ(image.size, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.bytes));
}

// The build's generated placeholder says so in its first line; the program never writes it
// into a controller, so the accessor must tell it apart from a real image.
TEST(FirmwareResource, TellsThePlaceholderFromARealImage) {
    EXPECT_EQ(firmwareImage().placeholder, inputIsPlaceholder());
}

TEST(FirmwareResource, ComesWithTheDigestOfTheInputFile) {
    const FirmwareImage image = firmwareImage();
    const std::vector<std::uint8_t> expected = firmwareInputFile();
    ASSERT_NE(image.expectedDigest, nullptr);
    EXPECT_EQ(*image.expectedDigest, sha256(expected.data(), expected.size()));
    EXPECT_TRUE(matchesExpectedDigest(image));
}

TEST(FirmwareResource, IsStoredOnceInTheGermanSlot) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL);
    EXPECT_NE(FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(151), german), nullptr);
    EXPECT_EQ(FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(151), english), nullptr);
}

TEST(FirmwareResource, LiesInTheExecutablesReadOnlyData) {
    const FirmwareImage image = firmwareImage();
    ASSERT_NE(image.bytes, nullptr);
    const auto* base = reinterpret_cast<const std::uint8_t*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    EXPECT_GE(image.bytes, base);
    EXPECT_LE(image.bytes + image.size, base + nt->OptionalHeader.SizeOfImage) << "a copy";
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_NE(VirtualQuery(image.bytes, &info, sizeof info), 0u);
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
}

}  // namespace
