// The program's texts and dialogs in the language chosen for the user, asked for by language.
//
// The platform's own look-up (LoadStringW, DialogBoxParamW) picks a variant by the user's
// interface language and falls back to English for German outside Germany, since the resources
// hold German as 0x0407 alone; and Wine ignores a thread's interface language
// (SetThreadUILanguage). So every text and dialog is found with FindResourceExW in the language
// that win32/resource_language_rule.h chooses.
#pragma once

#include <windows.h>

#include <cstdint>

// The resource language for this user, from the user's interface language.
WORD userResourceLanguage();

// Text id of the module's string tables in language, cut to fit as LoadStringW would; 0 and an
// empty buffer for an id without text.
int loadTextIn(HMODULE module, WORD language, std::uint16_t id, wchar_t* buffer, int capacity);

// Dialog template id of the module in language; null if there is none.
LPCDLGTEMPLATEW dialogTemplateIn(HMODULE module, WORD language, std::uint16_t id);
