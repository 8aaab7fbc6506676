// Bounded wide-character formatting.
#pragma once

// Formats into buffer (capacity in characters, terminator included) and returns the number of
// characters written without the terminator, or -1 when the text does not fit or the format is
// not understood. Conversions: %s (a wide string, on every platform), %u, %x, %08x and the like
// (zero-padded width), %%. Numbers are taken as unsigned 32-bit values.
int formatText(wchar_t* buffer, int capacity, const wchar_t* format, ...);
