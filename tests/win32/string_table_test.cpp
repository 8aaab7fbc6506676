// Texts read out of a string-table block: the right slot, cut to fit, and nothing read or
// written past the block or the buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32/string_table.h"

namespace {

// A block of 16 slots: slot 0 with characters beyond ASCII, slot 15 "xyz", the rest empty.
std::vector<std::uint8_t> block() {
    std::vector<std::u16string> slots(16);
    slots[0] = u"A\u00fc\u20ac";
    slots[15] = u"xyz";
    std::vector<std::uint8_t> bytes;
    const auto unit = [&](char16_t c) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    };
    for (const std::u16string& text : slots) {
        unit(static_cast<char16_t>(text.size()));
        for (const char16_t c : text) unit(c);
    }
    return bytes;
}

constexpr std::uint16_t kBase = 40000 - 40000 % 16;  // slot 0 of a block the program uses

struct TableCase {
    const char* name;
    std::uint16_t id;
    int capacity;
    std::size_t bytesCut;  // taken off the end of the block
    int length;
    const wchar_t* text;
};

class TableString : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableString, CopiesItsSlotWithinBlockAndBuffer) {
    const TableCase& c = GetParam();
    std::vector<std::uint8_t> bytes = block();
    bytes.resize(bytes.size() - c.bytesCut);  // exactly the size given, for the address sanitizer
    std::vector<wchar_t> buffer(static_cast<std::size_t>(c.capacity), L'#');
    EXPECT_EQ(copyTableString(bytes.data(), bytes.size(), c.id, buffer.data(), c.capacity),
              c.length);
    EXPECT_EQ(std::wstring(buffer.data()), c.text);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, TableString,
    ::testing::Values(
        TableCase{"FirstSlot", kBase, 2048, 0, 3, L"A\u00fc\u20ac"},
        TableCase{"LastSlotPastEmptyOnes", kBase + 15, 2048, 0, 3, L"xyz"},
        TableCase{"EmptySlot", kBase + 7, 2048, 0, 0, L""},
        TableCase{"FitsExactly", kBase + 15, 4, 0, 3, L"xyz"},
        TableCase{"CutToFit", kBase + 15, 3, 0, 2, L"xy"},
        TableCase{"RoomForTheTerminatorOnly", kBase + 15, 1, 0, 0, L""},
        TableCase{"BlockEndsInsideTheText", kBase + 15, 2048, 2, 0, L""},
        TableCase{"BlockEndsBeforeTheSlot", kBase + 15, 2048, 8, 0, L""},
        TableCase{"BlockEndsInsideALength", kBase + 15, 2048, 9, 0, L""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(TableString, NoBlockGivesAnEmptyText) {
    wchar_t buffer[4] = L"###";
    EXPECT_EQ(copyTableString(nullptr, 0, kBase, buffer, 4), 0);
    EXPECT_EQ(std::wstring(buffer), L"");
}

}  // namespace
