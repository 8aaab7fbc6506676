// The language that an end-to-end run expects (--expect=de or --expect=en on its command line, set
// beside LC_ALL by the test's registration) and the catalogue's texts in that language.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/catalogue.h"

inline Language& expectedLanguage() {
    static Language language = Language::english;
    return language;
}

// A catalogue text in the expected language; empty for an ID without text.
inline std::wstring catalogue(std::uint16_t id) {
    std::wstring text;
    const char16_t* stored = catalogueText(id, expectedLanguage());
    for (; stored != nullptr && *stored != u'\0'; ++stored) text += static_cast<wchar_t>(*stored);
    return text;
}

// The main of an end-to-end test program: takes --expect=de|en, then runs the tests.
inline int runEndToEndTests(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--expect=de") == 0) expectedLanguage() = Language::german;
    }
    return RUN_ALL_TESTS();
}
