#!/usr/bin/env python3
"""Makes the program's message catalogue from resources/catalogue.json.

    make_catalogue.py CATALOGUE.json --rc STRINGS.rc --cpp TABLE.cpp --header TEXT_IDS.h

Each entry has a number (id), a name, and its text in both languages; an entry marked "terminal"
is a text of the command-line program alone. STRINGS.rc holds the Windows string tables, German
(0x0407) and English (0x0009), in UTF-8 for windres, without the terminal's texts; TABLE.cpp
defines the tables of src/engine/catalogue.h with every text as UTF-16 literals; TEXT_IDS.h
(included as engine/text_ids.h) names each number kText<name> and gives the size of the buffer
that a text is loaded into. All are written from the one source so that they cannot drift apart.
"""

import argparse
import json
import sys

# Every text is loaded into a buffer of this many UTF-16 units, terminator included.
TEXT_BUFFER_UNITS = 2048

# The terminal's texts have numbers of their own, apart from those of the window's string tables.
TERMINAL_IDS = range(41000, 42000)

# Resource language of each variant: (language name in the source, primary, sublanguage).
LANGUAGES = [
    ("de", 0x07, 0x01),  # German, Germany: 0x0407
    ("en", 0x09, 0x00),  # English, neutral sublanguage: 0x0009
]


def utf16_units(text):
    return len(text.encode("utf-16-le")) // 2


KEYS = {"id", "name", "terminal"} | {language for language, _, _ in LANGUAGES}


def check(texts):
    """Returns a list of faults of the catalogue; empty if it is sound."""
    faults = []
    seen = set()
    names = set()
    for entry in texts:
        if not isinstance(entry, dict):
            faults.append(f"not an entry: {entry!r}")
            continue
        number = entry.get("id")
        if not isinstance(number, int) or not 0 <= number <= 0xFFFF:
            faults.append(f"bad id {number!r}")
            continue
        if number in seen:
            faults.append(f"{number}: listed twice")
        seen.add(number)
        name = entry.get("name")
        if not isinstance(name, str) or not name.isidentifier() or not name[:1].isupper():
            faults.append(f"{number}: bad name {name!r}")
        elif name in names:
            faults.append(f"{number}: name {name} listed twice")
        names.add(name)
        terminal = entry.get("terminal", False)
        if not isinstance(terminal, bool):
            faults.append(f"{number}: terminal is not true or false")
        elif terminal != (number in TERMINAL_IDS):
            faults.append(f"{number}: the terminal's texts, and only they, are numbered "
                          f"{TERMINAL_IDS.start}-{TERMINAL_IDS.stop - 1}")
        for language, _, _ in LANGUAGES:
            text = entry.get(language)
            if not isinstance(text, str) or not text:
                faults.append(f"{number}: no {language} text")
            elif utf16_units(text) + 1 > TEXT_BUFFER_UNITS:
                faults.append(f"{number}: {language} text too long for its buffer")
        extra = set(entry) - KEYS
        if extra:
            faults.append(f"{number}: unknown keys {sorted(extra)}")
    return faults


def rc_literal(text):
    # windres: a quote inside a string is doubled; backslash escapes as in C. CR and LF must be
    # escapes, since a raw line break would end the string. Other characters stay UTF-8.
    escaped = {"\\": "\\\\", '"': '""', "\r": "\\r", "\n": "\\n", "\t": "\\t"}
    return '"' + "".join(escaped.get(c, c) for c in text) + '"'


def cpp_literal(text):
    # Everything outside printable ASCII as a universal character name, so that the literal does
    # not depend on the compiler's idea of the source character set.
    escaped = {"\\": "\\\\", '"': '\\"', "\r": "\\r", "\n": "\\n", "\t": "\\t", "?": "\\?"}
    out = []
    for c in text:
        if c in escaped:
            out.append(escaped[c])
        elif 0x20 <= ord(c) < 0x7F:
            out.append(c)
        elif ord(c) <= 0xFFFF:
            out.append(f"\\u{ord(c):04x}")
        else:
            out.append(f"\\U{ord(c):08x}")
    return 'u"' + "".join(out) + '"'


def is_terminal(entry):
    return entry.get("terminal", False)


def make_rc(texts, source_name):
    lines = [
        f"// Made from {source_name} by make_catalogue.py at build time; do not edit.",
        "#pragma code_page(65001)",
    ]
    for language, primary, sub in LANGUAGES:
        lines += ["", f"LANGUAGE 0x{primary:02x}, 0x{sub:02x}", "STRINGTABLE", "BEGIN"]
        lines += [
            f"    {entry['id']}, {rc_literal(entry[language])}"
            for entry in texts
            if not is_terminal(entry)
        ]
        lines.append("END")
    return "\n".join(lines) + "\n"


def cpp_table(name, entries):
    lines = [f"const CatalogueEntry {name}[] = {{"]
    for entry in entries:
        lines.append(f"    {{{entry['id']},")
        lines.append(f"     {cpp_literal(entry['de'])},")
        lines.append(f"     {cpp_literal(entry['en'])}}},")
    lines += ["};", f"const std::size_t {name}Size = sizeof({name}) / sizeof({name}[0]);", ""]
    return lines


def make_cpp(texts, source_name):
    lines = [
        f"// Made from {source_name} by make_catalogue.py at build time; do not edit.",
        '#include "engine/catalogue.h"',
        "",
    ]
    lines += cpp_table("kCatalogue", [entry for entry in texts if not is_terminal(entry)])
    lines += cpp_table("kTerminalCatalogue", [entry for entry in texts if is_terminal(entry)])
    return "\n".join(lines)


def make_header(texts, source_name):
    lines = [
        f"// Made from {source_name} by make_catalogue.py at build time; do not edit.",
        "// The numbers of the message catalogue's texts by name, and the size of the buffer that",
        "// every text is loaded into.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        "enum TextId : std::uint16_t {",
    ]
    lines += [f"    kText{entry['name']} = {entry['id']}," for entry in texts]
    lines += [
        "};",
        "",
        "// Every number of the catalogue, in order.",
        "constexpr TextId kTextIds[] = {",
    ]
    lines += [f"    kText{entry['name']}," for entry in texts]
    lines += [
        "};",
        "",
        "// Every text is loaded into a buffer of this many UTF-16 units, terminator included.",
        f"constexpr int kTextBufferSize = {TEXT_BUFFER_UNITS};",
    ]
    return "\n".join(lines) + "\n"


def write(path, content):
    with open(path, "w", encoding="utf-8", newline="\n") as output:
        output.write(content)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("catalogue")
    parser.add_argument("--rc", required=True)
    parser.add_argument("--cpp", required=True)
    parser.add_argument("--header", required=True)
    arguments = parser.parse_args()

    with open(arguments.catalogue, encoding="utf-8") as source:
        texts = json.load(source)
    faults = check(texts) if isinstance(texts, list) else ["the catalogue is not a list"]
    if faults:
        for fault in faults:
            print(f"{arguments.catalogue}: {fault}", file=sys.stderr)
        return 1

    texts = sorted(texts, key=lambda entry: entry["id"])
    source_name = "resources/catalogue.json"
    write(arguments.rc, make_rc(texts, source_name))
    write(arguments.cpp, make_cpp(texts, source_name))
    write(arguments.header, make_header(texts, source_name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
