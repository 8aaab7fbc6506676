// The language in which the program shows its texts and dialogs.
//
// The resources hold German (0x0407, German as written in Germany) and English (0x0009). German
// speakers outside Germany (de-AT, de-CH, de-LU, de-LI) read the same German texts, but the
// platform's own resource look-up does not fall from their sublanguage to 0x0407: it ends at
// English. So the program picks the resource language itself and asks for it explicitly.
#pragma once

#include <cstdint>

constexpr std::uint16_t kGermanResources = 0x0407;
constexpr std::uint16_t kEnglishResources = 0x0009;

// The resource language for a user interface language (a Windows language ID): German for
// every sublanguage of German, English for every other language.
std::uint16_t resourceLanguageFor(std::uint16_t userInterfaceLanguage);
