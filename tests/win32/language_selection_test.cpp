// The language in which the program's texts and main dialog come: chosen from the user's
// interface language and asked for explicitly, as the program does (win32/resource_language.h),
// from the built program's own resources. Run under Wine with LC_ALL set, and told which language
// that should give:
//   language-selection-tests --expect=de|en [GoogleTest options]
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "program_resources.h"
#include "engine/catalogue.h"
#include "win32/resource_language_rule.h"
#include "ui/resource_ids.h"
#include "win32/resource_language.h"

namespace {

Language expected = Language::english;

std::u16string u16(const wchar_t* text) { return std::u16string(text, text + std::wcslen(text)); }

const char16_t* inExpectedLanguage(const char16_t* german, const char16_t* english) {
    return expected == Language::german ? german : english;
}

class LanguageSelection : public ::testing::Test {
protected:
    void SetUp() override {
        module = programResources();
        ASSERT_NE(module, nullptr) << UPDATER_PROGRAM_FILE;
        language = userResourceLanguage();
    }
    HMODULE module = nullptr;
    WORD language = 0;
};

TEST_F(LanguageSelection, ChoosesTheResourcesOfTheUsersLanguage) {
    EXPECT_EQ(language, expected == Language::german ? kGermanResources : kEnglishResources)
        << "interface language " << std::hex << GetUserDefaultUILanguage();
}

TEST_F(LanguageSelection, LoadsTheTextsOfTheUsersLanguage) {
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        const std::uint16_t id = kCatalogue[i].id;
        wchar_t buffer[kTextBufferSize];
        const int length = loadTextIn(module, language, id, buffer, kTextBufferSize);
        ASSERT_GT(length, 0) << "text " << id;
        EXPECT_EQ(u16(buffer), catalogueText(id, expected)) << "text " << id;
    }
}

INT_PTR CALLBACK inertDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

TEST_F(LanguageSelection, ShowsTheMainDialogInTheUsersLanguage) {
    const LPCDLGTEMPLATEW dialogTemplate = dialogTemplateIn(module, language, kMainDialogId);
    ASSERT_NE(dialogTemplate, nullptr);
    // The template's own style keeps the dialog hidden; nothing is shown.
    const HWND dialog = CreateDialogIndirectParamW(module, dialogTemplate, nullptr, inertDialog, 0);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, kCloseButton, text, 256);
    EXPECT_EQ(u16(text), inExpectedLanguage(u"Beenden", u"Close"));
    GetDlgItemTextW(dialog, kVersionGroupBox, text, 256);
    EXPECT_EQ(u16(text), inExpectedLanguage(u"Installierte Firmware Versionen",
                                            u"Installed firmware version"));
    GetWindowTextW(dialog, text, 256);
    EXPECT_EQ(u16(text),
              inExpectedLanguage(u"BELMARODA Firmware Updater", u"BELMARODA firmware updater"));
    DestroyWindow(dialog);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* language = argc == 2 ? argv[1] : "";
    if (std::strcmp(language, "--expect=de") == 0) {
        expected = Language::german;
    } else if (std::strcmp(language, "--expect=en") == 0) {
        expected = Language::english;
    } else {
        std::fprintf(stderr,
                     "usage: language-selection-tests --expect=de|en [GoogleTest options]\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
