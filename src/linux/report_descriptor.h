// The report lengths of a HID device, read from its report descriptor and counted as Windows
// counts them in its HID capabilities. Pure byte parsing: no platform header, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hid::hidraw {

// The longest output and input report in bytes, one byte for the report ID included (also for a
// device that numbers no reports, as Windows counts it); 0 when the device has no report of that
// kind.
struct ReportLengths {
    std::uint16_t output = 0;
    std::uint16_t input = 0;
};

// Reads the lengths from the size bytes of descriptor. False, with *lengths untouched, when the
// descriptor is truncated or inconsistent: an item running past the end, a Pop without a Push or
// more Pushes than kept, a report ID of 0 or above 255, main items both outside and inside
// numbered reports, or a report too long for a 16-bit length.
bool parseReportLengths(const std::uint8_t* descriptor, std::size_t size, ReportLengths* lengths);

}  // namespace hid::hidraw
