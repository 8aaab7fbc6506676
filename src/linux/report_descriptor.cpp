#include "linux/report_descriptor.h"

#include <array>

namespace hid::hidraw {
namespace {

// Short items: the prefix byte with its two size bits cleared.
constexpr std::uint8_t kInput = 0x80;
constexpr std::uint8_t kOutput = 0x90;
constexpr std::uint8_t kFeature = 0xB0;
constexpr std::uint8_t kReportSize = 0x74;
constexpr std::uint8_t kReportId = 0x84;
constexpr std::uint8_t kReportCount = 0x94;
constexpr std::uint8_t kPush = 0xA4;
constexpr std::uint8_t kPop = 0xB4;
constexpr std::uint8_t kLongItem = 0xFE;

// The bytes of a short item's data for each value of its two size bits.
constexpr std::size_t kDataBytes[4] = {0, 1, 2, 4};

// Pushes kept; a deeper descriptor is refused rather than cut.
constexpr std::size_t kMaxPushDepth = 16;

// The longest report whose length, with the report-ID byte, still fits 16 bits.
constexpr std::uint64_t kMaxReportBits = (0xFFFFu - 1u) * 8u;

// The global items that the lengths depend on.
struct Globals {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;  // 0 until a Report ID item
};

// The bits of each report of one kind, by report ID.
struct ReportBits {
    std::array<std::uint64_t, 256> bits{};
    std::array<bool, 256> present{};

    // Adds one main item's fields; false when the report grows too long. Size and count are
    // multiplied in 64 bits, where two 32-bit values cannot overflow.
    bool add(const Globals& globals) {
        const std::uint64_t itemBits =
            static_cast<std::uint64_t>(globals.reportSize) * globals.reportCount;
        if (itemBits > kMaxReportBits) return false;
        std::uint64_t& total = bits[globals.reportId];
        total += itemBits;
        present[globals.reportId] = true;
        return total <= kMaxReportBits;
    }

    // The longest report's bytes plus the report-ID byte; 0 when there is none.
    std::uint16_t length() const {
        std::uint64_t longest = 0;
        bool any = false;
        for (std::size_t id = 0; id < bits.size(); ++id) {
            if (!present[id]) continue;
            any = true;
            const std::uint64_t bytes = (bits[id] + 7) / 8;
            if (bytes > longest) longest = bytes;
        }
        return any ? static_cast<std::uint16_t>(longest + 1) : 0;
    }
};

}  // namespace

bool parseReportLengths(const std::uint8_t* descriptor, std::size_t size, ReportLengths* lengths) {
    Globals globals;
    std::array<Globals, kMaxPushDepth> stack{};
    std::size_t depth = 0;
    ReportBits input;
    ReportBits output;
    ReportBits feature;
    bool numbered = false;        // a Report ID item was seen
    bool unnumberedMain = false;  // a main item came before any Report ID

    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t prefix = descriptor[pos++];
        if (prefix == kLongItem) {
            // Size byte, tag byte, then the data: none of it counts for the lengths.
            if (size - pos < 2) return false;
            const std::size_t dataBytes = descriptor[pos];
            pos += 2;
            if (size - pos < dataBytes) return false;
            pos += dataBytes;
            continue;
        }
        const std::size_t dataBytes = kDataBytes[prefix & 0x03];
        if (size - pos < dataBytes) return false;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataBytes; ++i) {
            value |= static_cast<std::uint32_t>(descriptor[pos + i]) << (8 * i);
        }
        pos += dataBytes;

        const std::uint8_t item = prefix & 0xFC;
        if (item == kInput || item == kOutput || item == kFeature) {
            if (globals.reportId == 0) unnumberedMain = true;
            ReportBits& kind = item == kInput ? input : item == kOutput ? output : feature;
            if (!kind.add(globals)) return false;
        } else if (item == kReportSize) {
            globals.reportSize = value;
        } else if (item == kReportCount) {
            globals.reportCount = value;
        } else if (item == kReportId) {
            if (value == 0 || value > 255) return false;
            globals.reportId = value;
            numbered = true;
        } else if (item == kPush) {
            if (depth == stack.size()) return false;
            stack[depth++] = globals;
        } else if (item == kPop) {
            if (depth == 0) return false;
            globals = stack[--depth];
        }
        // Every other item (usages, usage pages, logical ranges, collections) leaves the
        // lengths alone.
    }
    // Reports without an ID beside numbered ones cannot be told apart on the wire.
    if (numbered && unnumberedMain) return false;

    lengths->output = output.length();
    lengths->input = input.length();
    return true;
}

}  // namespace hid::hidraw
