// Look-up in the message catalogue table, which is made at build time from resources/.
#include "engine/catalogue.h"

const char16_t* catalogueText(std::uint16_t id, Language language) {
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        const CatalogueEntry& entry = kCatalogue[i];
        if (entry.id == id) {
            return language == Language::german ? entry.german : entry.english;
        }
    }
    return nullptr;
}
