#include "engine/catalogue_text.h"

#include "engine/format_text.h"
#include "engine/text_ids.h"
#include "engine/unit_state.h"

namespace {

// The window's line breaks (CR LF) as a terminal's.
std::string withLineFeeds(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        appendUtf8(&out, static_cast<char32_t>(text[i]));
    }
    return out;
}

}  // namespace

std::string catalogueUtf8(std::uint16_t id, Language language) {
    return withLineFeeds(catalogueWide(id, language));
}

std::string errorCodeLine(Language language, std::uint32_t result, std::uint32_t lastError) {
    wchar_t line[kTextBufferSize];
    if (formatText(line, kTextBufferSize, catalogueWide(kTextErrorCodeLine, language).c_str(),
                   result, lastError) < 0) {
        return "";
    }
    return withLineFeeds(line);
}

std::string incompatibleNotice(Language language) {
    wchar_t notice[kTextBufferSize];
    if (composeIncompatibleNotice(notice, kTextBufferSize,
                                  catalogueWide(kTextIncompatibleNotice, language).c_str()) < 0) {
        return "";
    }
    return withLineFeeds(notice);
}

// The catalogue's text as a wide string (UTF-16 units; the catalogue has no surrogates).
std::wstring catalogueWide(std::uint16_t id, Language language) {
    std::wstring text;
    const char16_t* stored = catalogueText(id, language);
    for (; stored != nullptr && *stored != u'\0'; ++stored) text += static_cast<wchar_t>(*stored);
    return text;
}

std::string withoutLastLineFeed(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string utf8(const wchar_t* text) { return withLineFeeds(text); }

std::string catalogueUtf8(std::uint16_t id, Language language, const std::string& name) {
    std::string named = catalogueUtf8(id, language);
    const std::size_t at = named.find("%s");
    if (at != std::string::npos) named.replace(at, 2, name);
    return named;
}
