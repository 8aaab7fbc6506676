// Look-up in the message catalogue table, which is made at build time from resources/.
#include "engine/catalogue.h"

namespace {

const CatalogueEntry* entryIn(const CatalogueEntry* table, std::size_t size, std::uint16_t id) {
    for (std::size_t i = 0; i < size; ++i) {
        if (table[i].id == id) return &table[i];
    }
    return nullptr;
}

}  // namespace

const char16_t* catalogueText(std::uint16_t id, Language language) {
    const CatalogueEntry* entry = entryIn(kCatalogue, kCatalogueSize, id);
    if (entry == nullptr) entry = entryIn(kTerminalCatalogue, kTerminalCatalogueSize, id);
    if (entry == nullptr) return nullptr;
    return language == Language::german ? entry->german : entry->english;
}
