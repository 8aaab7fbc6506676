#include "cli_texts.h"

#include <string>

#include "ui/app.h"
#include "ui/format_text.h"
#include "ui/resource_ids.h"

namespace {

void appendUtf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
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
    "Usage: terval-updater-cli status\n"
    "       terval-updater-cli update [--yes] [--wait]\n"
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
    "\n"
    "Exit codes: 0 ready or updated, 1 the update failed, 2 no programming unit, 3 the unit is not\n"
    "ready (wrong mode, no updatable or another controller), 4 a question answered no, 5 the unit\n"
    "found may not be opened by this user or is in use by another program, 64 usage.\n",
    // German
    "Aufruf: terval-updater-cli status\n"
    "        terval-updater-cli update [--yes] [--wait]\n"
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
    "\n"
    "Rückgabewerte: 0 bereit oder aktualisiert, 1 Update fehlgeschlagen, 2 keine\n"
    "Programmiereinheit, 3 nicht bereit (falscher Modus, kein updatefähiger oder ein anderer\n"
    "Regler), 4 eine Frage mit Nein beantwortet, 5 die gefundene Programmiereinheit darf dieser\n"
    "Benutzer nicht öffnen oder ein anderes Programm verwendet sie, 64 falscher Aufruf.\n",
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

std::string cliText(CliText text, Language language) {
    const bool german = language == Language::german;
    switch (text) {
        case CliText::help: return kHelp[german ? 1 : 0];
        case CliText::usage:
            return german ? "Aufruf: terval-updater-cli status | update [--yes] [--wait] | --help\n"
                          : "Usage: terval-updater-cli status | update [--yes] [--wait] | --help\n";
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
    }
    return "";
}

std::string cliText(CliText text, Language language, const std::string& node) {
    std::string named = cliText(text, language);
    const std::size_t at = named.find("%s");
    if (at != std::string::npos) named.replace(at, 2, node);
    return named;
}
