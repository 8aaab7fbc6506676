// Fuzzes the report descriptor parser of the Linux backend with arbitrary bytes. Beyond reading
// nothing outside the bytes: a refusal leaves the lengths alone, and a descriptor that parses
// gives the same lengths with a long item before it and an End Collection after it, neither of
// which describes a report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "linux/report_descriptor.h"

using hid::hidraw::ReportLengths;

namespace {

bool same(const ReportLengths& a, const ReportLengths& b) {
    return a.output == b.output && a.input == b.input;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReportLengths lengths;
    lengths.output = 0xA5A5;
    lengths.input = 0x5A5A;
    const ReportLengths untouched = lengths;
    if (!hid::hidraw::parseReportLengths(data, size, &lengths)) {
        if (!same(lengths, untouched)) std::abort();
        return 0;
    }

    std::vector<std::uint8_t> framed = {0xFE, 0x02, 0x10, 0x85, 0x00};
    framed.insert(framed.end(), data, data + size);
    framed.push_back(0xC0);
    ReportLengths again;
    if (!hid::hidraw::parseReportLengths(framed.data(), framed.size(), &again)) std::abort();
    if (!same(again, lengths)) std::abort();
    return 0;
}
