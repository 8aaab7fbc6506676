// The framing of the programming unit's reports and the little-endian numbers inside them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Every request and reply is held in a buffer of this many bytes; the unit's reports, report-ID
// byte included, are no longer.
constexpr std::size_t kReportBufferSize = 60;
using Report = std::array<std::uint8_t, kReportBufferSize>;

constexpr std::uint8_t kOutputReportId = 0x01;
constexpr std::uint8_t kInputReportId = 0x02;
constexpr std::uint8_t kStatusRefused = 0xFF;

// Reply layout.
constexpr std::size_t kReplyStatusByte = 1;
constexpr std::size_t kReplyStateByte = 3;
constexpr std::size_t kReplyDataByte = 4;

// A request with report ID, command code and length byte in place and every other byte zero.
inline Report makeRequest(std::uint8_t command, std::uint8_t lengthByte) {
    Report request{};
    request[0] = kOutputReportId;
    request[1] = command;
    request[2] = lengthByte;
    return request;
}

inline std::uint16_t readLe16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t readLe32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline void writeLe16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void writeLe32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
