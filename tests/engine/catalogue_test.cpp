// The catalogue table made at build time: texts by ID and language, characters intact.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/catalogue.h"
#include "ui/resource_ids.h"

namespace {

struct TextCase {
    const char* name;
    std::uint16_t id;
    const char16_t* german;
    const char16_t* english;
};

class CatalogueText : public ::testing::TestWithParam<TextCase> {};

TEST_P(CatalogueText, IsTheTextOfItsLanguage) {
    const TextCase& c = GetParam();
    ASSERT_NE(catalogueText(c.id, Language::german), nullptr);
    ASSERT_NE(catalogueText(c.id, Language::english), nullptr);
    EXPECT_EQ(std::u16string(catalogueText(c.id, Language::german)), c.german);
    EXPECT_EQ(std::u16string(catalogueText(c.id, Language::english)), c.english);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Texts, CatalogueText,
    ::testing::Values(
        TextCase{"FirstId", kTextReady,
                 u"Programmiereinheit mit angeschlossenem Regler am USB Bus erkannt und bereit "
                 u"zum Update. Auf 'Update' klicken, um die neue Firmware nun in den "
                 u"Flash-Speicher des Reglers zu \u00fcbertragen.\r\n\r\n!!! Bitte achten Sie "
                 u"darauf, dass die Verbindung PC<=>Programmiereinheit w\u00e4hrend des gesamten "
                 u"Update-Vorgangs nicht unterbrochen wird. Andernfalls kann es zu einer "
                 u"fehlerhaften Firmware kommen, wodurch Sch\u00e4den am Ger\u00e4t nicht "
                 u"ausgeschlossen sind !!!",
                 u"A programming unit was found and is ready to update. To update to new ESC "
                 u"firmware, please click on the 'Update'-Button.\r\n\r\n!!!  NOTE: Do not "
                 u"disconnect Programming Unit from Computer until update is complete. If "
                 u"disconnected before complete Programming Unit or ESC may no longer function  "
                 u"!!!"},
        TextCase{"ErrorCodeLine", kTextErrorCodeLine, u"Das System meldet Fehlercode 0x%08x-0x%08x",
                 u"The system shows following errorcode: 0x%08x-0x%08x"},
        TextCase{"Umlaut", kTextEraseFailed,
                 u"Fehler beim L\u00f6schen der alten Firmware. Neue Daten k\u00f6nnen nicht "
                 u"geschrieben werden. Das Update wird abgebrochen.",
                 u"Error deleting old firmware. New data can't be written. Update cancelled."},
        TextCase{"LastOfFirstRange", kTextUnitInUse,
                 u"Die Programmiereinheit wird von einem anderen Programm verwendet. Es wurde "
                 u"nichts an sie gesendet. Schlie\u00dfen Sie das andere Programm und starten Sie "
                 u"das Update erneut.",
                 u"The programming unit is in use by another program. Nothing was sent to it. "
                 u"Close the other program, then start the update again."},
        TextCase{"LastId", 60008,
                 u"Schreibzugriff auf den Flash-Speicher der Programmiereinheit nicht "
                 u"m\u00f6glich. Das Update wird abgebrochen",
                 u"Writing to Flash memory of programming unit was not possible. Data writing "
                 u"cancelled."}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Characters that an encoding slip would mangle, found inside the longer texts.
struct FragmentCase {
    const char* name;
    std::uint16_t id;
    Language language;
    const char16_t* fragment;
};

class CatalogueFragment : public ::testing::TestWithParam<FragmentCase> {};

TEST_P(CatalogueFragment, IsKeptToTheCharacter) {
    const FragmentCase& c = GetParam();
    const char16_t* text = catalogueText(c.id, c.language);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::u16string(text).find(c.fragment), std::u16string::npos);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Fragments, CatalogueFragment,
    ::testing::Values(
        FragmentCase{"TradeMark", kTextInstructions, Language::german, u"Windows\u2122PC."},
        FragmentCase{"SpaceBeforeLineBreak", kTextInstructions, Language::english,
                     u"cable required. \r\nThe SALVINO-Q"},
        FragmentCase{"SharpS", kTextIncompatibleNotice, Language::german,
                     u"l\u00e4\u00dft sich ausschlie\u00dflich"},
        FragmentCase{"TypographicApostrophe", 60002, Language::english, u"The LED\u2019s on"},
        FragmentCase{"TypographicQuotes", 60002, Language::english,
                     u"the \u201cUpdate\u201d button"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

class CatalogueGap : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(CatalogueGap, HasNoText) {
    EXPECT_EQ(catalogueText(GetParam(), Language::german), nullptr);
    EXPECT_EQ(catalogueText(GetParam(), Language::english), nullptr);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(IdsWithoutText, CatalogueGap,
                         ::testing::Values(40010, 40013, 40014, 40018, 40019, 40021, 40024,
                                           60000, 39999, 40044, 60009, 0));
// clang-format on

// Every text that the code shows by name, in both languages; and no ID twice in the table, where
// the look-up would find the first and hide the other.
TEST(Catalogue, HoldsEveryTextTheCodeNamesOnce) {
    const TextId named[] = {kTextReady,
                            kTextInstructions,
                            kTextUpdateFailedCaption,
                            kTextAddressFailed,
                            kTextBlockFailed,
                            kTextRegistrationFailed,
                            kTextApplicationErrorCaption,
                            kTextWrongMode,
                            kTextNoController,
                            kTextNoUnit,
                            kTextConnectionLost,
                            kTextUnitNotDetected,
                            kTextOlderOrSame,
                            kTextNewerFirmwareCaption,
                            kTextLockFailed,
                            kTextUnprotectFailed,
                            kTextEraseFailed,
                            kTextUpdateInProgress,
                            kTextUpdateFailedHint,
                            kTextUpdateSucceeded,
                            kTextIncompatibleCaption,
                            kTextIncompatibleNotice,
                            kTextIncompatible,
                            kTextErrorCodeLine,
                            kTextWarningCaption,
                            kTextWarning,
                            kTextRow1Caption,
                            kTextRow2Caption,
                            kTextRow3Caption,
                            kTextLogNotWritten,
                            kTextUnitInUse};
    for (TextId id : named) {
        EXPECT_NE(catalogueText(id, Language::german), nullptr) << id;
        EXPECT_NE(catalogueText(id, Language::english), nullptr) << id;
    }
    std::set<std::uint16_t> ids;
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        EXPECT_TRUE(ids.insert(kCatalogue[i].id).second) << kCatalogue[i].id << " twice";
    }
}

TEST(Catalogue, EveryEntryHasBothLanguagesWithinTheTextBuffer) {
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        const CatalogueEntry& entry = kCatalogue[i];
        for (const char16_t* text : {entry.german, entry.english}) {
            ASSERT_NE(text, nullptr) << entry.id;
            std::size_t length = std::u16string(text).size();
            EXPECT_GT(length, 0u) << entry.id;
            EXPECT_LT(length, static_cast<std::size_t>(kTextBufferSize)) << entry.id;
        }
    }
}

}  // namespace
