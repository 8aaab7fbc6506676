// The texts of the command-line program: the catalogue's, as the window shows them, and the few
// that only a terminal needs, in both languages. All UTF-8, with plain line feeds.
#pragma once

#include <cstdint>
#include <string>

#include "ui/catalogue.h"

// A catalogue text; with one %s (40034) it takes the model name, with two %08x (40036) the given
// numbers.
std::string catalogueUtf8(std::uint16_t id, Language language);
std::string errorCodeLine(Language language, std::uint32_t result, std::uint32_t lastError);
std::string incompatibleNotice(Language language);

// A wide text (a label, a title) in UTF-8.
std::string utf8(const wchar_t* text);

enum class CliText { help, usage, prompt, waiting, declined, unitNotPermitted, unitInUse };
std::string cliText(CliText text, Language language);
// A text that names a device node (unitNotPermitted, unitInUse), the node in place of its %s.
std::string cliText(CliText text, Language language, const std::string& node);
