#include "cli_texts.h"

#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "engine/program_title.h"
#include "engine/format_text.h"
#include "engine/text_ids.h"

namespace {

constexpr char32_t kNoCharacter = 0xFFFFFFFF;

// How many bytes a UTF-8 sequence with this lead byte has; 0 for a byte that leads none.
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead < 0xE0) return 2;
    if (lead >= 0xE0 && lead < 0xF0) return 3;
    if (lead >= 0xF0 && lead < 0xF5) return 4;
    return 0;
}

// The character that starts at *at in UTF-8 text, which is passed; kNoCharacter for a byte that
// starts no well-formed sequence (only that byte is passed).
char32_t nextCharacter(const std::string& text, std::size_t* at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[*at + i]); };
    const int length = sequenceLength(byte(0));
    if (length == 0 || *at + length > text.size()) {
        ++*at;
        return kNoCharacter;
    }
    char32_t c = length == 1 ? byte(0) : byte(0) & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            ++*at;
            return kNoCharacter;
        }
        c = (c << 6) | (byte(i) & 0x3F);
    }
    const char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < shortest[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++*at;
        return kNoCharacter;
    }
    *at += length;
    return c;
}

// The catalogue's text as a wide string (UTF-16 units; the catalogue has no surrogates).
std::wstring wideText(std::uint16_t id, Language language) {
    std::wstring text;
    const char16_t* stored = catalogueText(id, language);
    for (; stored != nullptr && *stored != u'\0'; ++stored) text += static_cast<wchar_t>(*stored);
    return text;
}

// The window's line breaks (CR LF) as a terminal's.
std::string withLineFeeds(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        appendUtf8(&out, static_cast<char32_t>(text[i]));
    }
    return out;
}

const char* const kHelp[] = {
    // English
    "Usage: terval-updater-cli status [--json] [--device PATH] [--log FILE]\n"
    "       terval-updater-cli update [--yes] [--wait] [--device PATH | --all] [--log FILE]\n"
    "       terval-updater-cli --help | --version\n"
    "\n"
    "Writes the BELMARODA TERVAL 160 LX controller firmware that it carries into the controller\n"
    "on a LINK-CUBE or LINKWAVE programming unit on the USB port.\n"
    "\n"
    "  status        show the programming unit, the controller's bootloader and firmware, and\n"
    "                what to do next\n"
    "  update        write the firmware, after the same checks and questions as the Windows\n"
    "                program\n"
    "  --yes, -y     answer both questions before the update with yes\n"
    "  --wait        wait for a programming unit to be plugged in\n"
    "  --json        the state of every programming unit found, as JSON\n"
    "  --device PATH only the programming unit at this node (/dev/hidrawN); with several units\n"
    "                plugged in, update needs it or --all\n"
    "  --all         update every programming unit that is ready, side by side (no log)\n"
    "  --log FILE    write the log of this run to FILE (by default a new file in\n"
    "                $XDG_STATE_HOME/terval-updater, or ~/.local/state/terval-updater)\n"
    "\n"
    "Exit codes: 0 ready or updated, 1 the update failed, 2 no programming unit, 3 the unit is "
    "not\n"
    "ready (wrong mode, no updatable or another controller), 4 a question answered no, 5 the unit\n"
    "found may not be opened by this user or is in use by another program, 64 usage, or several\n"
    "units and none chosen. With several units: status 0 when every one is ready, else the code\n"
    "of the first that is not; update --all 0 when every update started succeeded, else 1.\n",
    // German
    "Aufruf: terval-updater-cli status [--json] [--device PFAD] [--log DATEI]\n"
    "        terval-updater-cli update [--yes] [--wait] [--device PFAD | --all] [--log DATEI]\n"
    "        terval-updater-cli --help | --version\n"
    "\n"
    "Schreibt die mitgelieferte Firmware des BELMARODA TERVAL 160 LX in den Regler an einer\n"
    "Programmiereinheit LINK-CUBE oder LINKWAVE am USB-Port.\n"
    "\n"
    "  status        Programmiereinheit, Regler-Bootloader und Regler-Firmware anzeigen, und was\n"
    "                als Nächstes zu tun ist\n"
    "  update        die Firmware schreiben, nach denselben Prüfungen und Fragen wie das\n"
    "                Windows-Programm\n"
    "  --yes, -y     beide Fragen vor dem Update mit Ja beantworten\n"
    "  --wait        warten, bis eine Programmiereinheit angeschlossen wird\n"
    "  --json        den Zustand jeder gefundenen Programmiereinheit als JSON ausgeben\n"
    "  --device PFAD nur die Programmiereinheit an diesem Knoten (/dev/hidrawN); sind mehrere\n"
    "                angeschlossen, braucht update dies oder --all\n"
    "  --all         jede bereite Programmiereinheit aktualisieren, alle zugleich (ohne\n"
    "                Protokoll)\n"
    "  --log DATEI   das Protokoll dieses Laufs in DATEI schreiben (sonst in eine neue Datei\n"
    "                in $XDG_STATE_HOME/terval-updater oder ~/.local/state/terval-updater)\n"
    "\n"
    "Rückgabewerte: 0 bereit oder aktualisiert, 1 Update fehlgeschlagen, 2 keine\n"
    "Programmiereinheit, 3 nicht bereit (falscher Modus, kein updatefähiger oder ein anderer\n"
    "Regler), 4 eine Frage mit Nein beantwortet, 5 die gefundene Programmiereinheit darf dieser\n"
    "Benutzer nicht öffnen oder ein anderes Programm verwendet sie, 64 falscher Aufruf, oder\n"
    "mehrere Programmiereinheiten und keine gewählt. Bei mehreren: status 0, wenn jede bereit\n"
    "ist, sonst der Wert der ersten, die es nicht ist; update --all 0, wenn jedes begonnene\n"
    "Update gelang, sonst 1.\n",
};

// A node closed to the user: what it is, the fix as the README gives it, and the other way.
const char* const kUnitNotPermitted[] = {
    // English
    "This user may not open the programming unit at %s.\n"
    "The udev rule 70-terval-updater.rules gives the user at the seat access to it; as root:\n",
    // German
    "Dieser Benutzer darf die Programmiereinheit an %s nicht öffnen.\n"
    "Die udev-Regel 70-terval-updater.rules gibt dem Benutzer am Platz Zugriff darauf; als root:\n",
};
const char kUdevRuleCommands[] =
    "    cp resources/linux/70-terval-updater.rules /etc/udev/rules.d/\n"
    "    udevadm control --reload && udevadm trigger\n";
const char* const kUnitNotPermittedOtherwise[] = {
    // English
    "then plug the unit in again. Or run terval-updater-cli as root.\n",
    // German
    "Danach die Programmiereinheit neu anstecken. Oder terval-updater-cli als root starten.\n",
};

const char* const kUnitInUse[] = {
    // English
    "The programming unit at %s is in use by another program (another terval-updater-cli);\n"
    "nothing was sent to it. Try again once that program has ended.\n",
    // German
    "Die Programmiereinheit an %s wird von einem anderen Programm verwendet (einem anderen\n"
    "terval-updater-cli); es wurde nichts an sie gesendet. Versuchen Sie es erneut, wenn jenes\n"
    "Programm beendet ist.\n",
};

}  // namespace

std::string catalogueUtf8(std::uint16_t id, Language language) {
    return withLineFeeds(wideText(id, language));
}

std::string errorCodeLine(Language language, std::uint32_t result, std::uint32_t lastError) {
    wchar_t line[kTextBufferSize];
    if (formatText(line, kTextBufferSize, wideText(kTextErrorCodeLine, language).c_str(), result,
                   lastError) < 0) {
        return "";
    }
    return withLineFeeds(line);
}

std::string incompatibleNotice(Language language) {
    wchar_t notice[kTextBufferSize];
    if (formatText(notice, kTextBufferSize, wideText(kTextIncompatibleNotice, language).c_str(),
                   kModelName) < 0) {
        return "";
    }
    return withLineFeeds(notice);
}

std::string utf8(const wchar_t* text) { return withLineFeeds(text); }

std::string readyText(Language language, bool withCommand) {
    const std::string text = catalogueUtf8(kTextReady, language);
    const std::size_t note = text.find("\n\n");
    const std::size_t firstSentenceEnd = text.find(". ");
    if (note == std::string::npos || firstSentenceEnd == std::string::npos ||
        firstSentenceEnd > note) {
        return text;
    }
    std::string told = text.substr(0, firstSentenceEnd + 1);
    if (withCommand) told += '\n' + cliText(CliText::runUpdate, language);
    return told + text.substr(note);
}

std::string cliText(CliText text, Language language) {
    const bool german = language == Language::german;
    switch (text) {
        case CliText::help: return kHelp[german ? 1 : 0];
        case CliText::usage:
            return german ? "Aufruf: terval-updater-cli status [--json] [--device PFAD] "
                            "[--log DATEI] | update [--yes] [--wait] [--device PFAD | --all] "
                            "[--log DATEI] | --help\n"
                          : "Usage: terval-updater-cli status [--json] [--device PATH] "
                            "[--log FILE] | update [--yes] [--wait] [--device PATH | --all] "
                            "[--log FILE] | --help\n";
        case CliText::prompt: return german ? "Fortfahren? [j/N] " : "Continue? [y/N] ";
        case CliText::waiting:
            return german ? "Warte auf eine Programmiereinheit am USB-Port ...\n"
                          : "Waiting for a programming unit on the USB port ...\n";
        case CliText::declined:
            return german ? "Das Update wurde nicht gestartet.\n" : "The update was not started.\n";
        case CliText::unitNotPermitted:
            return std::string(kUnitNotPermitted[german ? 1 : 0]) + kUdevRuleCommands +
                   kUnitNotPermittedOtherwise[german ? 1 : 0];
        case CliText::unitInUse: return kUnitInUse[german ? 1 : 0];
        case CliText::runUpdate:
            return german ? "Um die Regler-Firmware zu aktualisieren, führen Sie aus: "
                            "terval-updater-cli update"
                          : "To update the ESC firmware, run: terval-updater-cli update";
        case CliText::outputFailed:
            return german ? "terval-updater-cli: Die Standardausgabe konnte nicht geschrieben "
                            "werden.\n"
                          : "terval-updater-cli: the standard output could not be written.\n";
        case CliText::notAUnit:
            return german ? "%s ist nicht der Knoten einer Programmiereinheit."
                          : "%s is not the node of a programming unit.";
        case CliText::chooseUnit:
            return german ? "Es wurden mehrere Programmiereinheiten gefunden; an sie wurde nichts "
                            "gesendet. Wählen Sie eine, oder alle, die bereit sind:\n"
                          : "Several programming units were found; nothing was sent to them. "
                            "Choose one, or all that are ready:\n";
        case CliText::runUpdateOfUnits:
            return german ? "Um die Regler-Firmware zu aktualisieren, führen Sie eines davon aus:\n"
                          : "To update the ESC firmware, run one of:\n";
        case CliText::unitNoAnswer:
            return german ? "Die Programmiereinheit oder ihr Regler antwortet nicht."
                          : "The programming unit or its controller does not answer.";
        case CliText::notReadyLeftAlone:
            return german ? "nicht bereit, nicht aktualisiert." : "not ready, left alone.";
        case CliText::noUnitReady:
            return german ? "Keine der Programmiereinheiten ist bereit zum Update; es wurde nichts "
                            "gesendet.\n"
                          : "None of the programming units is ready to update; nothing was sent.\n";
        case CliText::logWritten:
            return german ? "Das Protokoll dieses Laufs: %s\n" : "The log of this run: %s\n";
    }
    return "";
}

std::string cliText(CliText text, Language language, const std::string& node) {
    std::string named = cliText(text, language);
    const std::size_t at = named.find("%s");
    if (at != std::string::npos) named.replace(at, 2, node);
    return named;
}

namespace {

// The character set named by writeTextsIn; empty: the current locale's.
std::string chosenCharset;

// The charset of a locale name "language_TERRITORY.charset@modifier": the part after the dot; else
// ISO-8859-15 for the modifier "@euro", as the C library's locale names have it; else none.
std::string charsetOfName(const std::string& name) {
    if (name == "C" || name == "POSIX") return "";
    const std::size_t modifier = name.find('@');
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos && dot < modifier) {
        return name.substr(dot + 1, modifier == std::string::npos ? modifier : modifier - dot - 1);
    }
    if (modifier != std::string::npos && name.compare(modifier, std::string::npos, "@euro") == 0) {
        return "ISO-8859-15";
    }
    return "";
}

// Converts from UTF-8 with iconv; a closed converter when the character set is not known.
class Converter {
public:
    explicit Converter(const char* charset) : cd_(iconv_open(charset, "UTF-8")) {}
    ~Converter() {
        if (open()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool open() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // One character's bytes appended to out; false where the set lacks it, out then ending in
    // the set's initial state (in which a '?' may stand for it). length 0: the bytes that bring a
    // shifting set back to its initial state.
    bool convert(const char* bytes, std::size_t length, std::string* out) {
        char converted[32];
        char* in = const_cast<char*>(bytes);
        char* to = converted;
        std::size_t left = sizeof converted;
        const bool done =
            (length == 0 ? iconv(cd_, nullptr, nullptr, &to, &left)
                         : iconv(cd_, &in, &length, &to, &left)) != static_cast<std::size_t>(-1);
        if (!done) {
            to = converted;
            left = sizeof converted;
            iconv(cd_, nullptr, nullptr, &to, &left);
        }
        out->append(converted, static_cast<std::size_t>(to - converted));
        return done;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::string charsetNamedByLocale(const char* lcAll, const char* lcCtype, const char* lang) {
    for (const char* locale : {lcAll, lcCtype, lang}) {
        if (locale != nullptr && *locale != '\0') return charsetOfName(locale);
    }
    return "";
}

bool writeTextsIn(const std::string& charset) {
    if (!charset.empty() && !Converter(charset.c_str()).open()) return false;
    chosenCharset = charset;
    return true;
}

void chooseTextsCharset() {
    if (std::setlocale(LC_ALL, "") != nullptr || std::setlocale(LC_CTYPE, "") != nullptr) return;
    writeTextsIn(
        charsetNamedByLocale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG")));
}

std::string inLocaleCharset(const std::string& text) {
    Converter converter(chosenCharset.empty() ? nl_langinfo(CODESET) : chosenCharset.c_str());
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const bool character = nextCharacter(text, &at) != kNoCharacter;
        if (!character || !converter.open() || !converter.convert(&text[start], at - start, &out)) {
            out += '?';
        }
    }
    if (converter.open()) converter.convert(nullptr, 0, &out);
    return out;
}
