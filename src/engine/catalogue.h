// The message catalogue as data: every text in both languages, made at build time from the one
// source in resources/ that also makes the Windows string tables and names the texts' numbers
// (engine/text_ids.h). The Windows program loads its texts from its string tables; these tables
// serve the terminal, the native build and the tests.
#pragma once

#include <cstddef>
#include <cstdint>

enum class Language { german, english };

struct CatalogueEntry {
    std::uint16_t id;
    const char16_t* german;  // UTF-16, NUL-terminated; CR LF line breaks in the window's texts
    const char16_t* english;
};

// The texts of the window's string tables.
extern const CatalogueEntry kCatalogue[];
extern const std::size_t kCatalogueSize;
// The texts of the command-line program alone (line feeds only), which the string tables lack.
extern const CatalogueEntry kTerminalCatalogue[];
extern const std::size_t kTerminalCatalogueSize;

// The text of id in language; null for an id without text.
const char16_t* catalogueText(std::uint16_t id, Language language);
