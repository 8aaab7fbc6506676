#include "engine/format_text.h"

#include <cstdarg>
#include <cstdint>

namespace {

// The text being written: characters go in while one place is left for the terminator.
struct Output {
    wchar_t* buffer;
    int capacity;
    int length;
    bool overflow;

    void put(wchar_t c) {
        if (length + 1 >= capacity) {
            overflow = true;
            return;
        }
        buffer[length++] = c;
    }
};

// No conversion here needs more than eight digits; the bound keeps a stray width harmless.
constexpr int kMaxWidth = 64;

void putNumber(Output& out, std::uint32_t value, unsigned base, int width, wchar_t pad) {
    wchar_t digits[16];
    int count = 0;
    do {
        const unsigned digit = value % base;
        digits[count++] = static_cast<wchar_t>(digit < 10 ? L'0' + digit : L'a' + digit - 10);
        value /= base;
    } while (value != 0);
    for (int i = count; i < width; ++i) out.put(pad);
    while (count > 0) out.put(digits[--count]);
}

void putString(Output& out, const wchar_t* text, int width) {
    int length = 0;
    while (text[length] != L'\0') ++length;
    for (int i = length; i < width; ++i) out.put(L' ');
    for (int i = 0; i < length; ++i) out.put(text[i]);
}

// Writes one conversion that starts after its '%'; moves format past it. False for a
// conversion that is not understood or a null string.
bool putConversion(Output& out, const wchar_t*& format, std::va_list& args) {
    wchar_t pad = L' ';
    if (*format == L'0') {
        pad = L'0';
        ++format;
    }
    int width = 0;
    while (*format >= L'0' && *format <= L'9') {
        width = width * 10 + (*format - L'0');
        if (width > kMaxWidth) return false;
        ++format;
    }
    switch (*format++) {
        case L'%': out.put(L'%'); return true;
        case L'u': putNumber(out, va_arg(args, unsigned), 10, width, pad); return true;
        case L'x': putNumber(out, va_arg(args, unsigned), 16, width, pad); return true;
        case L's': {
            const wchar_t* text = va_arg(args, const wchar_t*);
            if (text == nullptr) return false;
            putString(out, text, width);
            return true;
        }
        default: return false;
    }
}

}  // namespace

int formatText(wchar_t* buffer, int capacity, const wchar_t* format, ...) {
    if (buffer == nullptr || capacity <= 0) return -1;
    Output out{buffer, capacity, 0, false};
    std::va_list args;
    va_start(args, format);
    bool understood = true;
    while (understood && !out.overflow && *format != L'\0') {
        if (*format != L'%') {
            out.put(*format++);
            continue;
        }
        ++format;
        understood = putConversion(out, format, args);
    }
    va_end(args);
    if (!understood || out.overflow) {
        buffer[0] = L'\0';
        return -1;
    }
    buffer[out.length] = L'\0';
    return out.length;
}

void appendUtf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string toUtf8(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text) {
        char32_t c = static_cast<char32_t>(*text);
        if (isHighSurrogate(c) && isLowSurrogate(static_cast<char32_t>(text[1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[1]) - 0xDC00);
            ++text;
        } else if (isHighSurrogate(c) || isLowSurrogate(c) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        appendUtf8(&out, c);
    }
    return out;
}
