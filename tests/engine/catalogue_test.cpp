// The catalogue table made at build time: texts by ID and language, characters intact.
#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "engine/catalogue.h"
#include "ui/resource_ids.h"

namespace {

// The window's table and the terminal's.
const std::pair<const CatalogueEntry*, std::size_t> kTables[] = {
    {kCatalogue, kCatalogueSize}, {kTerminalCatalogue, kTerminalCatalogueSize}};

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
                     u"the \u201cUpdate\u201d button"},
        FragmentCase{"TerminalsUmlaut", kTextRunUpdate, Language::german,
                     u"f\u00fchren Sie aus: terval-updater-cli update"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Every number that the catalogue names has its text in both languages, and every other number
// has none. And no number is twice in the tables, where the look-up would find the first and hide
// the other.
TEST(Catalogue, HoldsTheTextOfEveryNamedNumberAndNoOther) {
    const std::set<unsigned> named(std::begin(kTextIds), std::end(kTextIds));
    for (unsigned id = 0; id <= 0xFFFF; ++id) {
        const bool hasText = named.count(id) != 0;
        EXPECT_EQ(catalogueText(static_cast<std::uint16_t>(id), Language::german) != nullptr,
                  hasText)
            << id;
        EXPECT_EQ(catalogueText(static_cast<std::uint16_t>(id), Language::english) != nullptr,
                  hasText)
            << id;
    }
    std::set<std::uint16_t> ids;
    for (const auto& [table, size] : kTables) {
        for (std::size_t i = 0; i < size; ++i) {
            EXPECT_TRUE(ids.insert(table[i].id).second) << table[i].id << " twice";
        }
    }
    EXPECT_EQ(ids.size(), named.size());
}

// The window's numbers stay where its string tables have them; the terminal's have a range of
// their own, outside the string tables.
TEST(Catalogue, KeepsTheTerminalsTextsApartFromTheWindows) {
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        EXPECT_TRUE(kCatalogue[i].id < 41000 || kCatalogue[i].id >= 42000) << kCatalogue[i].id;
    }
    for (std::size_t i = 0; i < kTerminalCatalogueSize; ++i) {
        EXPECT_GE(kTerminalCatalogue[i].id, 41000) << kTerminalCatalogue[i].id;
        EXPECT_LT(kTerminalCatalogue[i].id, 42000) << kTerminalCatalogue[i].id;
        EXPECT_EQ(std::u16string(kTerminalCatalogue[i].english).find(u'\r'), std::u16string::npos)
            << "a terminal's text with the window's line breaks: " << kTerminalCatalogue[i].id;
    }
}

TEST(Catalogue, EveryEntryHasBothLanguagesWithinTheTextBuffer) {
    for (const auto& [table, size] : kTables) {
        for (std::size_t i = 0; i < size; ++i) {
            const CatalogueEntry& entry = table[i];
            for (const char16_t* text : {entry.german, entry.english}) {
                ASSERT_NE(text, nullptr) << entry.id;
                std::size_t length = std::u16string(text).size();
                EXPECT_GT(length, 0u) << entry.id;
                EXPECT_LT(length, static_cast<std::size_t>(kTextBufferSize)) << entry.id;
            }
        }
    }
}

}  // namespace
