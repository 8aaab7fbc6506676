#include "win32/resource_language.h"

#include "win32/resource_language_rule.h"
#include "win32/string_table.h"

namespace {

struct Bytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

Bytes resourceIn(HMODULE module, LPCWSTR type, std::uint16_t id, WORD language) {
    const HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (found == nullptr) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return {};
    return {static_cast<const std::uint8_t*>(data), SizeofResource(module, found)};
}

}  // namespace

WORD userResourceLanguage() {
    // The display language of the user's account on Windows, and what LC_ALL or LANG name under
    // Wine (de_AT.UTF-8 gives 0x0C07). Not GetUserDefaultLangID: that is the user's regional
    // format, which on Windows may be Austrian under an English interface.
    return resourceLanguageFor(GetUserDefaultUILanguage());
}

int loadTextIn(HMODULE module, WORD language, std::uint16_t id, wchar_t* buffer, int capacity) {
    const Bytes block = resourceIn(module, RT_STRING, stringTableBlock(id), language);
    return copyTableString(block.data, block.size, id, buffer, capacity);
}

LPCDLGTEMPLATEW dialogTemplateIn(HMODULE module, WORD language, std::uint16_t id) {
    return reinterpret_cast<LPCDLGTEMPLATEW>(resourceIn(module, RT_DIALOG, id, language).data);
}
