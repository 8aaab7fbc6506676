#include "cli_texts.h"

#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "engine/text_ids.h"

namespace {

constexpr char32_t kNoCharacter = 0xFFFFFFFF;

// How many bytes a UTF-8 sequence with this lead byte has; 0 for a byte that leads none.
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead < 0xE0) return 2;
    if (lead >= 0xE0 && lead < 0xF0) return 3;
    if (lead >= 0xF0 && lead < 0xF5) return 4;
    return 0;
}

// The character that starts at *at in UTF-8 text, which is passed; kNoCharacter for a byte that
// starts no well-formed sequence (only that byte is passed).
char32_t nextCharacter(const std::string& text, std::size_t* at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[*at + i]); };
    const int length = sequenceLength(byte(0));
    if (length == 0 || *at + length > text.size()) {
        ++*at;
        return kNoCharacter;
    }
    char32_t c = length == 1 ? byte(0) : byte(0) & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            ++*at;
            return kNoCharacter;
        }
        c = (c << 6) | (byte(i) & 0x3F);
    }
    const char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < shortest[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++*at;
        return kNoCharacter;
    }
    *at += length;
    return c;
}

}  // namespace

std::string readyText(Language language, bool withCommand) {
    std::string told = catalogueUtf8(kTextTerminalReady, language);
    if (withCommand) told += '\n' + catalogueUtf8(kTextRunUpdate, language);
    return told + "\n\n" + catalogueUtf8(kTextTerminalReadyNote, language);
}

namespace {

// The character set named by writeTextsIn; empty: the current locale's.
std::string chosenCharset;

// The charset of a locale name "language_TERRITORY.charset@modifier": the part after the dot; else
// ISO-8859-15 for the modifier "@euro", as the C library's locale names have it; else none.
std::string charsetOfName(const std::string& name) {
    if (name == "C" || name == "POSIX") return "";
    const std::size_t modifier = name.find('@');
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos && dot < modifier) {
        return name.substr(dot + 1, modifier == std::string::npos ? modifier : modifier - dot - 1);
    }
    if (modifier != std::string::npos && name.compare(modifier, std::string::npos, "@euro") == 0) {
        return "ISO-8859-15";
    }
    return "";
}

// Converts from UTF-8 with iconv; a closed converter when the character set is not known.
class Converter {
public:
    explicit Converter(const char* charset) : cd_(iconv_open(charset, "UTF-8")) {}
    ~Converter() {
        if (open()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool open() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // One character's bytes appended to out; false where the set lacks it, out then ending in
    // the set's initial state (in which a '?' may stand for it). length 0: the bytes that bring a
    // shifting set back to its initial state.
    bool convert(const char* bytes, std::size_t length, std::string* out) {
        char converted[32];
        char* in = const_cast<char*>(bytes);
        char* to = converted;
        std::size_t left = sizeof converted;
        const bool done =
            (length == 0 ? iconv(cd_, nullptr, nullptr, &to, &left)
                         : iconv(cd_, &in, &length, &to, &left)) != static_cast<std::size_t>(-1);
        if (!done) {
            to = converted;
            left = sizeof converted;
            iconv(cd_, nullptr, nullptr, &to, &left);
        }
        out->append(converted, static_cast<std::size_t>(to - converted));
        return done;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::string charsetNamedByLocale(const char* lcAll, const char* lcCtype, const char* lang) {
    for (const char* locale : {lcAll, lcCtype, lang}) {
        if (locale != nullptr && *locale != '\0') return charsetOfName(locale);
    }
    return "";
}

bool writeTextsIn(const std::string& charset) {
    if (!charset.empty() && !Converter(charset.c_str()).open()) return false;
    chosenCharset = charset;
    return true;
}

void chooseTextsCharset() {
    if (std::setlocale(LC_ALL, "") != nullptr || std::setlocale(LC_CTYPE, "") != nullptr) return;
    writeTextsIn(
        charsetNamedByLocale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG")));
}

std::string inLocaleCharset(const std::string& text) {
    Converter converter(chosenCharset.empty() ? nl_langinfo(CODESET) : chosenCharset.c_str());
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const bool character = nextCharacter(text, &at) != kNoCharacter;
        if (!character || !converter.open() || !converter.convert(&text[start], at - start, &out)) {
            out += '?';
        }
    }
    if (converter.open()) converter.convert(nullptr, 0, &out);
    return out;
}
