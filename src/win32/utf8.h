// UTF-8 and Windows' UTF-16, converted both ways by Windows itself. Text that is not valid in its
// encoding (an unpaired surrogate, a broken byte sequence) is refused, not replaced: a device path
// that changed on the way would name another device, or none.
#pragma once

#include <windows.h>

#include <string>

// False, with the last error ERROR_NO_UNICODE_TRANSLATION, when wide is not valid UTF-16.
inline bool toUtf8(const std::wstring& wide, std::string* text) {
    text->clear();
    if (wide.empty()) return true;
    const int wideLength = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), wideLength,
                                           nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    text->resize(static_cast<std::size_t>(length));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), wideLength, &(*text)[0],
                               length, nullptr, nullptr) == length;
}

// False, with the last error ERROR_NO_UNICODE_TRANSLATION, when text is not valid UTF-8.
inline bool toWide(const std::string& text, std::wstring* wide) {
    wide->clear();
    if (text.empty()) return true;
    const int textLength = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), textLength, nullptr, 0);
    if (length <= 0) return false;
    wide->resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), textLength, &(*wide)[0],
                               length) == length;
}
