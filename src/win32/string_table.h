// One text out of a Windows string-table block, as LoadStringW would give it.
//
// Text id lives in the RT_STRING resource numbered id / 16 + 1, at slot id % 16 of its sixteen
// strings, each a little-endian UTF-16 length followed by that many units, without terminator.
// Read by hand so that the block can be taken from a resource language chosen by the program.
#pragma once

#include <cstddef>
#include <cstdint>

// The resource number of the block that holds text id.
constexpr std::uint16_t stringTableBlock(std::uint16_t id) {
    return static_cast<std::uint16_t>(id / 16 + 1);
}

// Copies text id out of its block (size bytes) into buffer, cut to capacity - 1 units and
// terminated. Returns the length copied; 0 and an empty buffer for an empty slot or a block that
// ends before the text does.
int copyTableString(const std::uint8_t* block, std::size_t size, std::uint16_t id, wchar_t* buffer,
                    int capacity);
