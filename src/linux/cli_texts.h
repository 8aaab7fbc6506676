// The texts of the command-line program, all from the message catalogue (engine/catalogue_text.h):
// the terminal's ready text, and the character set they are written in. All UTF-8, with plain
// line feeds, until they are written: then in the locale's character set.
#pragma once

#include <cstdint>
#include <string>

#include "engine/catalogue.h"
#include "engine/catalogue_text.h"
#include "engine/text_ids.h"

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
