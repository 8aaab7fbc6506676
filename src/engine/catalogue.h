// The message catalogue as data: every text in both languages, made at build time from the one
// source in resources/ that also makes the Windows string tables. The Windows program loads its
// texts from its string tables; this table serves the native build and the tests.
#pragma once

#include <cstddef>
#include <cstdint>

enum class Language { german, english };

struct CatalogueEntry {
    std::uint16_t id;
    const char16_t* german;  // UTF-16, CR LF line breaks, NUL-terminated
    const char16_t* english;
};

extern const CatalogueEntry kCatalogue[];
extern const std::size_t kCatalogueSize;

// The text of id in language; null for an id without text.
const char16_t* catalogueText(std::uint16_t id, Language language);
