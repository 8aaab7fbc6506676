// The report lengths read from report descriptors, as Windows' HID capabilities count them.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

#include "descriptors.h"
#include "linux/report_descriptor.h"

namespace {

using descriptors::Bytes;
using hid::hidraw::parseReportLengths;
using hid::hidraw::ReportLengths;

// Parses a copy of bytes in a heap block of exactly their size, so that the sanitizer sees any
// read past the end.
bool parse(const Bytes& bytes, ReportLengths* lengths) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return parseReportLengths(exact.get(), bytes.size(), lengths);
}

Bytes concat(std::initializer_list<Bytes> pieces) {
    Bytes all;
    for (const Bytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

struct LengthsCase {
    const char* name;
    Bytes descriptor;
    std::uint16_t output;
    std::uint16_t input;
};

void PrintTo(const LengthsCase& c, std::ostream* os) { *os << c.name; }

class Lengths : public testing::TestWithParam<LengthsCase> {};

TEST_P(Lengths, AreTheLongestReportsWithTheReportIdByte) {
    const LengthsCase& c = GetParam();
    ReportLengths lengths;
    ASSERT_TRUE(parse(c.descriptor, &lengths));
    EXPECT_EQ(lengths.output, c.output);
    EXPECT_EQ(lengths.input, c.input);
}

const Bytes kVendorHead = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Descriptors, Lengths,
    testing::Values(
        LengthsCase{"WheelMouse", descriptors::kWheelMouse, 0, 5},
        LengthsCase{"BootKeyboard", descriptors::kBootKeyboard, 2, 9},
        LengthsCase{"Vendor64", descriptors::kVendor64, 65, 65},
        // The longest report of each kind, not the sum over the report IDs; the feature report,
        // longer than all, counts for neither.
        LengthsCase{"ReceiverWithReportIds", descriptors::kReceiverWithReportIds, 2, 9},
        LengthsCase{"ProgrammingUnit", descriptors::kProgrammingUnit, 60, 60},
        LengthsCase{"UnnumberedReportsStillCountTheIdByte", descriptors::kUnnumbered59, 60, 60},
        // ID 1: 12 bits in (2 bytes), 3 bits out (1 byte); ID 2: 20 bits in (3 bytes).
        LengthsCase{"BitsRoundedUpPerReport",
                    concat({kVendorHead,
                            {0x85, 0x01, 0x75, 0x01, 0x95, 0x0C, 0x81, 0x02,  //
                             0x95, 0x03, 0x91, 0x02,                          //
                             0x85, 0x02, 0x75, 0x04, 0x95, 0x05, 0x81, 0x02, 0xC0}}),
                    2, 4},
        // Pop brings back ID 1 with 4 x 8 bits after ID 2's 8 x 16 bits.
        LengthsCase{"PopRestoresReportIdSizeAndCount",
                    concat({kVendorHead,
                            {0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0xA4,        //
                             0x85, 0x02, 0x75, 0x10, 0x95, 0x08, 0x81, 0x02,  //
                             0xB4, 0x81, 0x02, 0x91, 0x02, 0xC0}}),
                    5, 17},
        // Logical Maximum, Report Size and Report Count with two- and four-byte data.
        LengthsCase{"WideItemData",
                    concat({kVendorHead,
                            {0x27, 0xFF, 0xFF, 0xFF, 0x7F,                                //
                             0x77, 0x08, 0x00, 0x00, 0x00, 0x96, 0x40, 0x00, 0x81, 0x02,  //
                             0x97, 0x20, 0x00, 0x00, 0x00, 0x91, 0x02, 0xC0}}),
                    33, 65},
        // A long item's data is skipped whole, whatever its bytes look like.
        LengthsCase{"LongItemSkipped",
                    concat({kVendorHead,
                            {0x75, 0x08, 0xFE, 0x04, 0x10, 0x95, 0xFF, 0x81, 0x02,  //
                             0x95, 0x40, 0x81, 0x02, 0xC0}}),
                    0, 65},
        LengthsCase{"FeatureOnly",
                    concat({kVendorHead, {0x75, 0x08, 0x95, 0x10, 0xB1, 0x02, 0xC0}}), 0, 0},
        LengthsCase{"Empty", {}, 0, 0}),
    [](const testing::TestParamInfo<LengthsCase>& info) { return info.param.name; });
// clang-format on

struct RefusedCase {
    const char* name;
    Bytes descriptor;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class Refused : public testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, WithTheLengthsUntouched) {
    ReportLengths lengths;
    lengths.output = 0x1234;
    lengths.input = 0x5678;
    EXPECT_FALSE(parse(GetParam().descriptor, &lengths));
    EXPECT_EQ(lengths.output, 0x1234);
    EXPECT_EQ(lengths.input, 0x5678);
}

Bytes manyPushes() {
    Bytes bytes(1000, 0xA4);
    bytes.push_back(0xC0);
    return bytes;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Descriptors, Refused,
    testing::Values(
        RefusedCase{"DataByteMissing", descriptors::kTruncated},
        RefusedCase{"TwoByteDataCut", concat({kVendorHead, {0x75, 0x08, 0x96, 0x40}})},
        RefusedCase{"FourByteDataCut", concat({kVendorHead, {0x97, 0x40, 0x00, 0x00}})},
        RefusedCase{"LongItemDataCut", concat({kVendorHead, {0xFE, 0x05, 0x10, 0x01, 0x02}})},
        RefusedCase{"LongItemHeaderCut", concat({kVendorHead, {0xFE, 0x05}})},
        RefusedCase{"PopWithoutPush", concat({kVendorHead, {0xA4, 0xB4, 0xB4, 0xC0}})},
        RefusedCase{"PushesBeyondTheStack", manyPushes()},
        // 0xFFFFFFFF x 0xFFFFFFFF bits is 1 in 32-bit arithmetic; 65536 x 65536 is 0.
        RefusedCase{"SizeTimesCountWrapsTo1",
                    concat({kVendorHead,
                            {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF,  //
                             0x81, 0x02, 0xC0}})},
        RefusedCase{"SizeTimesCountWrapsTo0",
                    concat({kVendorHead,
                            {0x77, 0x00, 0x00, 0x01, 0x00, 0x97, 0x00, 0x00, 0x01, 0x00,  //
                             0x91, 0x02, 0xC0}})},
        // 65535 bytes and the ID byte do not fit a 16-bit length.
        RefusedCase{"ReportTooLongForItsLength",
                    concat({kVendorHead, {0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02, 0xC0}})},
        RefusedCase{"ItemsTogetherTooLong",
                    concat({kVendorHead,
                            {0x75, 0x08, 0x96, 0x40, 0x9C, 0x91, 0x02, 0x91, 0x02, 0xC0}})},
        RefusedCase{"ReportIdZero",
                    concat({kVendorHead, {0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0}})},
        RefusedCase{"ReportIdAbove255",
                    concat({kVendorHead,
                            {0x86, 0x00, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0}})},
        RefusedCase{"ReportsWithAndWithoutId",
                    concat({kVendorHead,
                            {0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x85, 0x01, 0x81, 0x02,
                             0xC0}})}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });
// clang-format on

// Every cut of a real descriptor is read within its bytes; a cut inside an item is refused.
TEST(Truncation, EveryPrefixIsReadWithinItsBytes) {
    for (const Bytes* descriptor :
         {&descriptors::kWheelMouse, &descriptors::kBootKeyboard,
          &descriptors::kReceiverWithReportIds, &descriptors::kProgrammingUnit}) {
        for (std::size_t size = 0; size < descriptor->size(); ++size) {
            ReportLengths lengths;
            parse(Bytes(descriptor->begin(), descriptor->begin() + size), &lengths);
        }
    }
    // The unit's descriptor cut between Report Count (0x95) and its data byte.
    const Bytes& unit = descriptors::kProgrammingUnit;
    ReportLengths lengths;
    EXPECT_FALSE(parse(Bytes(unit.begin(), unit.begin() + 17), &lengths));
    EXPECT_TRUE(parse(Bytes(unit.begin(), unit.begin() + 18), &lengths));
}

}  // namespace
