// The resource language for the user's interface language: German for every German, English
// for the rest.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "win32/resource_language_rule.h"

namespace {

struct LanguageCase {
    const char* name;
    std::uint16_t userInterface;
    std::uint16_t resources;
};

class ResourceLanguage : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(ResourceLanguage, FollowsThePrimaryLanguage) {
    EXPECT_EQ(resourceLanguageFor(GetParam().userInterface), GetParam().resources);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Languages, ResourceLanguage,
    ::testing::Values(
        LanguageCase{"GermanGermany", 0x0407, kGermanResources},
        LanguageCase{"GermanAustria", 0x0C07, kGermanResources},
        LanguageCase{"GermanSwitzerland", 0x0807, kGermanResources},
        LanguageCase{"GermanLuxembourg", 0x1007, kGermanResources},
        LanguageCase{"GermanLiechtenstein", 0x1407, kGermanResources},
        LanguageCase{"GermanNeutral", 0x0007, kGermanResources},
        LanguageCase{"EnglishUnitedStates", 0x0409, kEnglishResources},
        LanguageCase{"EnglishUnitedKingdom", 0x0809, kEnglishResources},
        LanguageCase{"FrenchFrance", 0x040C, kEnglishResources},
        LanguageCase{"ItalianSwitzerland", 0x0810, kEnglishResources},
        LanguageCase{"LanguageNeutral", 0x0000, kEnglishResources},
        // A private-use primary language whose low byte is German's: the primary language is
        // ten bits wide.
        LanguageCase{"PrivateUseEndingIn07", 0x0207, kEnglishResources}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
