#include "win32/hid_path.h"

#include <cstddef>

namespace {

// The value of a hexadecimal digit, or -1.
int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Whether text holds prefix (in small letters) at position at, the letters A to Z in either case.
bool startsWithIgnoringCase(const std::wstring& text, std::size_t at, const wchar_t* prefix) {
    for (; *prefix != L'\0'; ++prefix, ++at) {
        if (at >= text.size()) return false;
        const wchar_t c = text[at];
        if ((c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c) != *prefix) {
            return false;
        }
    }
    return true;
}

}  // namespace

int vendorIdInHidPath(const std::wstring& path) {
    constexpr std::size_t kDigits = 4;
    for (std::size_t at = 0; at < path.size(); ++at) {
        if (!startsWithIgnoringCase(path, at, L"#vid_")) continue;
        const std::size_t first = at + 5;
        // Four digits and the end of the field: "vid_04d8&" or "vid_04d8#", nothing longer.
        if (first + kDigits >= path.size()) return -1;
        const wchar_t after = path[first + kDigits];
        if (after != L'&' && after != L'#') return -1;
        int value = 0;
        for (std::size_t i = 0; i < kDigits; ++i) {
            const int digit = hexDigit(path[first + i]);
            if (digit < 0) return -1;
            value = value * 16 + digit;
        }
        return value;
    }
    return -1;
}
