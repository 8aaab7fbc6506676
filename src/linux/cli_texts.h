// The texts of the command-line program, all from the message catalogue: the window's as it
// shows them, and the terminal's own. All UTF-8, with plain line feeds, until they are written:
// then in the locale's character set.
#pragma once

#include <cstdint>
#include <string>

#include "engine/catalogue.h"
#include "engine/text_ids.h"

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

// A wide text (a label, a title) in UTF-8.
std::string utf8(const wchar_t* text);

// The ready text as a terminal tells it: the sentence that a unit is ready, then the command that
// updates (withCommand; none where the update follows anyway), then the note not to disconnect.
std::string readyText(Language language, bool withCommand);

// UTF-8 text in the character set of the texts: the one that writeTextsIn named, else the current
// locale's (LC_CTYPE); a character that the set cannot hold, or a byte that is no UTF-8, becomes
// '?'.
std::string inLocaleCharset(const std::string& text);

// The locale of the environment set, as every program sets it. Where the locale named is not
// installed (usual over ssh, in containers, on fresh systems), the terminal still shows the
// character set that its name carries, and the texts are written in that one: German stays German
// on a terminal that has no German locale.
void chooseTextsCharset();
// The character set that the locale deciding LC_CTYPE names (the first of LC_ALL, LC_CTYPE and LANG
// that is set and not empty): "UTF-8" of "de_DE.UTF-8", "utf8" of "de_DE.utf8@euro", ISO-8859-15
// for "de_DE@euro"; empty (the C library's own, ASCII) for a name without one, C and POSIX.
std::string charsetNamedByLocale(const char* lcAll, const char* lcCtype, const char* lang);
// The texts written in charset (an iconv name) from now on; empty: in the current locale's. False,
// with nothing changed, for a character set that iconv does not know.
bool writeTextsIn(const std::string& charset);
