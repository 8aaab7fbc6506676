// Bounded wide-character formatting.
#pragma once

// Formats into buffer (capacity in characters, terminator included) and returns the number of
// characters written without the terminator, or -1 when the text does not fit or the format is
// not understood (the buffer then holds an empty text). Conversions: %s (a wide string, on every
// platform; null is not understood), %u, %x, %08x and the like (zero-padded width), %%. Numbers
// are taken as unsigned 32-bit values, so a negative ResultCode prints as its two's complement.
int formatText(wchar_t* buffer, int capacity, const wchar_t* format, ...);

#include <string>

// One character appended in UTF-8.
void appendUtf8(std::string* out, char32_t c);

// A wide text in UTF-8 (UTF-16 surrogate pairs joined where wchar_t is 2 bytes; a lone surrogate
// becomes U+FFFD).
std::string toUtf8(const wchar_t* text);
