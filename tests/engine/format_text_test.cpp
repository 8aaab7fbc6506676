// Bounded formatting: what fits, what does not, and %s as a wide string on every platform.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/format_text.h"

namespace {

struct FormatCase {
    const char* name;
    int capacity;
    std::function<int(wchar_t*, int)> format;
    int result;
    const wchar_t* text;  // what the buffer holds afterwards
};

class FormatText : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatText, WritesWithinItsCapacity) {
    const FormatCase& c = GetParam();
    // Exactly the capacity, so that a write past it is caught by the address sanitizer.
    std::vector<wchar_t> buffer(static_cast<std::size_t>(c.capacity), L'#');
    EXPECT_EQ(c.format(buffer.data(), c.capacity), c.result);
    EXPECT_EQ(std::wstring(buffer.data()), c.text);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, FormatText,
    ::testing::Values(
        FormatCase{"FitsExactly", 6,
                   [](wchar_t* b, int n) { return formatText(b, n, L"%u.%u", 12u, 34u); }, 5,
                   L"12.34"},
        FormatCase{"OneTooLong", 5,
                   [](wchar_t* b, int n) { return formatText(b, n, L"%u.%u", 12u, 34u); }, -1,
                   L""},
        FormatCase{"WideStringArgument", 64,
                   [](wchar_t* b, int n) {
                       return formatText(b, n, L"type '%s'.", L"TERVAL 160 LX");
                   },
                   21, L"type 'TERVAL 160 LX'."},
        FormatCase{"WideStringBeyondAscii", 16,
                   [](wchar_t* b, int n) { return formatText(b, n, L"%s", L"Ger\u00e4t\u2122"); },
                   6, L"Ger\u00e4t\u2122"},
        FormatCase{"StringTooLong", 13,
                   [](wchar_t* b, int n) { return formatText(b, n, L"%s", L"TERVAL 160 LX"); },
                   -1, L""},
        FormatCase{"NegativeResultAsTwosComplement", 64,
                   [](wchar_t* b, int n) {
                       return formatText(b, n, L"0x%08x-0x%08x", -2, 0u);
                   },
                   21, L"0xfffffffe-0x00000000"},
        FormatCase{"ZeroPaddedHex", 64,
                   [](wchar_t* b, int n) { return formatText(b, n, L"0x%08x-0x%08x", 1627, 0u); },
                   21, L"0x0000065b-0x00000000"},
        FormatCase{"HexWiderThanWidth", 64,
                   [](wchar_t* b, int n) { return formatText(b, n, L"%02x", 0x1234u); }, 4,
                   L"1234"},
        FormatCase{"LargestUnsigned", 64,
                   [](wchar_t* b, int n) { return formatText(b, n, L"%u", 0xFFFFFFFFu); }, 10,
                   L"4294967295"},
        FormatCase{"Percent", 8, [](wchar_t* b, int n) { return formatText(b, n, L"100%%"); },
                   4, L"100%"},
        FormatCase{"UnknownConversion", 64,
                   [](wchar_t* b, int n) { return formatText(b, n, L"%d", 5); }, -1, L""},
        FormatCase{"TrailingPercent", 64,
                   [](wchar_t* b, int n) { return formatText(b, n, L"50%"); }, -1, L""},
        FormatCase{"NullString", 64,
                   [](wchar_t* b, int n) {
                       return formatText(b, n, L"%s", static_cast<const wchar_t*>(nullptr));
                   },
                   -1, L""},
        FormatCase{"OnlyTheTerminator", 1, [](wchar_t* b, int n) { return formatText(b, n, L""); },
                   0, L""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(FormatTextCapacity, ZeroCapacityTouchesNothing) {
    wchar_t untouched = L'#';
    EXPECT_EQ(formatText(&untouched, 0, L"x"), -1);
    EXPECT_EQ(untouched, L'#');
}

}  // namespace
