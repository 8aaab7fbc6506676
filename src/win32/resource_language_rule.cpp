#include "win32/resource_language_rule.h"

namespace {

constexpr std::uint16_t kPrimaryGerman = 0x07;

// The low ten bits of a language ID (PRIMARYLANGID); the sublanguage sits above them.
constexpr std::uint16_t primaryLanguage(std::uint16_t language) { return language & 0x03FF; }

}  // namespace

std::uint16_t resourceLanguageFor(std::uint16_t userInterfaceLanguage) {
    return primaryLanguage(userInterfaceLanguage) == kPrimaryGerman ? kGermanResources
                                                                    : kEnglishResources;
}
