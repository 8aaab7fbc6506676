// The catalogue's texts as the terminal shows them, read from the table (catalogue.h): in UTF-8
// with plain line feeds where the window has CR LF.
#pragma once

#include <cstdint>
#include <string>

#include "engine/catalogue.h"

// A catalogue text; with one %s (40034) it takes the model name, with two %08x (40036) the given
// numbers.
std::string catalogueUtf8(std::uint16_t id, Language language);
// A text that names a device node or the log's file: the name in place of its %s.
std::string catalogueUtf8(std::uint16_t id, Language language, const std::string& name);
std::string errorCodeLine(Language language, std::uint32_t result, std::uint32_t lastError);
std::string incompatibleNotice(Language language);

// A catalogue text as it is stored, for the engine's composition (engine/format_text.h).
std::wstring catalogueWide(std::uint16_t id, Language language);

// A text without its last line feed, to stand in a line of its own.
std::string withoutLastLineFeed(std::string text);

// A wide text (a label, a title) in UTF-8, with plain line feeds.
std::string utf8(const wchar_t* text);
