#!/usr/bin/env python3
"""Makes the manual page terval-updater-cli(1) and the bash completion of terval-updater-cli from
the program's own help text (resources/catalogue.json, text 41000 "Help", in English).

    make_cli_docs.py CATALOGUE.json --udev-rule PATH --man OUT.1 --completion OUT.bash

The synopsis, the commands and options, the exit codes and the log folder are what
`terval-updater-cli --help` prints, so that the page cannot say otherwise than the program; the
completion offers the commands and, after each, the options that its usage line names. PATH is
where the udev rule is installed, for the page's FILES. The page's date is SOURCE_DATE_EPOCH's
when it is set (none otherwise), so that the same commit makes the same page.

The help text has this shape, which is checked: the usage lines, a paragraph of description, the
commands and options (a line with two spaces, the name, and the text in the column where its
continuation lines start), then "Exit codes: CODE TEXT, CODE TEXT, ... ." and what
follows that sentence.
"""

import argparse
import datetime
import json
import os
import re
import sys

HELP_ID = 41000
NODE_NOT_PERMITTED_ID = 41005
PROGRAM = "terval-updater-cli"

# What the completion offers for an option's argument, by the name the usage line gives it.
ARGUMENT_COMPLETIONS = {
    "PATH": "nodes",  # --device PATH: a hidraw node
    "FILE": "files",  # --log FILE: any file
}


class HelpShapeError(Exception):
    pass


def catalogue_text(catalogue, number):
    for entry in catalogue:
        if entry.get("id") == number:
            return entry["en"].replace("\r\n", "\n")
    raise HelpShapeError(f"no text {number} in the catalogue")


def read_help(text):
    """Returns (usage lines, description, entries [(name, text)], exit codes [(code, text)],
    remark after the exit codes)."""
    blocks = [block for block in text.strip("\n").split("\n\n") if block.strip()]
    if len(blocks) != 4:
        raise HelpShapeError(f"{len(blocks)} paragraphs in the help text, not 4")
    usage_block, description, entry_block, exit_block = blocks

    usage = []
    for number, line in enumerate(usage_block.split("\n")):
        line = line.strip()
        if number == 0:
            if not line.startswith("Usage: "):
                raise HelpShapeError("the help text does not start with 'Usage: '")
            line = line[len("Usage: "):]
        if not line.startswith(PROGRAM + " "):
            raise HelpShapeError(f"a usage line that does not start with {PROGRAM}: {line!r}")
        usage.append(line[len(PROGRAM) + 1:])

    # The texts start in one column, that of the continuation lines; a long name may leave a
    # single space before its text.
    lines = entry_block.split("\n")
    continued = [len(line) - len(line.lstrip(" ")) for line in lines if line.startswith("   ")]
    if not continued:
        raise HelpShapeError("no option's text goes on to a second line")
    column = continued[0]
    entries = []
    for line in lines:
        if line.startswith(" " * column) and entries:
            entries[-1][1] += " " + line.strip()
        elif re.match(r"  \S", line) and len(line) > column and line[column - 1] == " ":
            entries.append([line[2:column].strip(), line[column:].strip()])
        else:
            raise HelpShapeError(f"a line of the options that is no option: {line!r}")

    exits = " ".join(exit_block.split())
    found = re.match(r"Exit codes: (.*?\.)(?: (.*))?$", exits)
    if not found:
        raise HelpShapeError("no 'Exit codes: ...' paragraph at the end")
    codes = []
    for item in re.split(r", (?=\d+ )", found.group(1).rstrip(".")):
        code = re.match(r"(\d+) (.*)$", item)
        if not code:
            raise HelpShapeError(f"an exit code that is not 'CODE TEXT': {item!r}")
        codes.append((code.group(1), code.group(2)))
    return usage, " ".join(description.split()), entries, codes, found.group(2) or ""


def roff_text(text):
    """Text for the body of a roff line: backslashes escaped, dashes of options as minus signs,
    and no control character at the start."""
    text = text.replace("\\", "\\e")
    text = re.sub(r"(?<![\w-])-(?=[-\w])", r"\\-", text)
    text = re.sub(r"(?<=\\-)-", r"\\-", text)
    if text[:1] in (".", "'"):
        text = "\\&" + text
    return text


def roff_usage(words):
    """A usage's words: option names in bold, their arguments in italics, brackets and bars
    plain."""
    out = []
    for token in re.findall(r"[\[\]|]|[^\s\[\]|]+", words):
        if token in "[]|":
            out.append(token)
        elif token.isupper():
            out.append(f"\\fI{token}\\fR")
        else:
            out.append(f"\\fB{roff_text(token)}\\fR")
    # Spaces around bars only; none inside brackets.
    joined = " ".join(out)
    return joined.replace("[ ", "[").replace(" ]", "]")


def roff_entry_name(name):
    """'--device PATH' as bold option and italic argument; '--yes, -y' as two bold names."""
    parts = []
    for token in re.split(r"(, | )", name):
        if token in (", ", " "):
            parts.append(token)
        elif token.isupper():
            parts.append(f"\\fI{token}\\fR")
        else:
            parts.append(f"\\fB{roff_text(token)}\\fR")
    return "".join(parts)


def manual_page(usage, description, entries, codes, remark, log_folders, udev_rule, date):
    lines = [
        f".\\\" {PROGRAM}(1), made by resources/linux/make_cli_docs.py from the program's help",
        f".\\\" text (resources/catalogue.json); changes belong there.",
        f'.TH {PROGRAM.upper()} 1 "{date}" "{PROGRAM}" "User Commands"',
        ".nh",
        ".SH NAME",
        f"{roff_text(PROGRAM)} \\- firmware updater for the BELMARODA TERVAL 160 LX controller",
        ".SH SYNOPSIS",
    ]
    for words in usage:
        lines += [".HP", f"\\fB{roff_text(PROGRAM)}\\fR {roff_usage(words)}"]
    lines += [".SH DESCRIPTION", roff_text(description)]
    commands = [entry for entry in entries if not entry[0].startswith("-")]
    options = [entry for entry in entries if entry[0].startswith("-")]
    for title, group in (("COMMANDS", commands), ("OPTIONS", options)):
        lines.append(f".SH {title}")
        for name, text in group:
            lines += [".TP", roff_entry_name(name), roff_text(text)]
    lines.append(".SH EXIT STATUS")
    for code, text in codes:
        lines += [".TP", f".B {code}", roff_text(text)]
    if remark:
        lines += [".PP", roff_text(remark)]
    lines.append(".SH FILES")
    for folder in log_folders:
        lines += [".TP", f".I {roff_text(folder)}", "The log of each run (see \\fB\\-\\-log\\fR)."]
    lines += [".TP", f".I {roff_text(udev_rule)}",
              "The udev rule that gives the user at the seat access to a plugged-in LINKWAVE or",
              "LINK\\-CUBE."]
    return "\n".join(lines) + "\n"


def command_options(usage):
    """{command: [(option, argument or None)]} from the usage lines; '' holds the options that
    stand alone (--help, --version)."""
    found = {}
    for words in usage:
        first = words.split()[0]
        command = "" if first.startswith("-") else first
        options = found.setdefault(command, [])
        for option, argument in re.findall(r"(--[\w-]+)(?: ([A-Z]+))?", words):
            if (option, argument or None) not in options:
                options.append((option, argument or None))
    return found


def completion(usage):
    per_command = command_options(usage)
    arguments = {}
    for options in per_command.values():
        for option, argument in options:
            if argument:
                if argument not in ARGUMENT_COMPLETIONS:
                    raise HelpShapeError(f"no completion known for {option}'s {argument}")
                arguments[option] = ARGUMENT_COMPLETIONS[argument]
    words = [command for command in per_command if command] + \
            [option for option, _ in per_command.get("", [])]
    cases = "\n".join(
        f"        {command}) options=\"{' '.join(option for option, _ in options)}\" ;;"
        for command, options in per_command.items() if command)
    commands = "|".join(command for command in per_command if command)

    def argument_case(kind):
        return "|".join(option for option, what in arguments.items() if what == kind) or "''"

    return f"""# bash completion for {PROGRAM}: its commands and their options, as its --help
# states them. Made by resources/linux/make_cli_docs.py from resources/catalogue.json.
_terval_updater_cli() {{
    local cur="${{COMP_WORDS[COMP_CWORD]}}" prev="${{COMP_WORDS[COMP_CWORD-1]}}"
    local command="" word options
    COMPREPLY=()
    case "$prev" in
        {argument_case("nodes")})
            local nodes=(/dev/hidraw*)
            [[ -e "${{nodes[0]}}" ]] || nodes=()
            COMPREPLY=($(compgen -W "${{nodes[*]}}" -- "$cur"))
            return ;;
        {argument_case("files")})
            compopt -o filenames 2>/dev/null
            local IFS=$'\\n'
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
    esac
    for word in "${{COMP_WORDS[@]:1:COMP_CWORD-1}}"; do
        case "$word" in {commands}) command="$word"; break ;; esac
    done
    case "$command" in
{cases}
        *) options="{' '.join(words)}" ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
}}
complete -F _terval_updater_cli {PROGRAM}
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("catalogue")
    parser.add_argument("--udev-rule", required=True)
    parser.add_argument("--man", required=True)
    parser.add_argument("--completion", required=True)
    arguments = parser.parse_args()

    try:
        with open(arguments.catalogue, encoding="utf-8") as file:
            catalogue = json.load(file)
        usage, description, entries, codes, remark = read_help(
            catalogue_text(catalogue, HELP_ID))
        log_text = " ".join(text for name, text in entries if name.startswith("--log"))
        log_folders = [folder.rstrip(",.;)")
                       for folder in re.findall(r"(?:\$XDG_STATE_HOME|~)/\S+", log_text)]
        if not log_folders:
            raise HelpShapeError("--log names no default folder")
        # The page names the rule that the program names when a unit may not be opened.
        rule_name = os.path.basename(arguments.udev_rule)
        if rule_name not in catalogue_text(catalogue, NODE_NOT_PERMITTED_ID):
            raise HelpShapeError(f"text {NODE_NOT_PERMITTED_ID} does not name {rule_name}")
        script = completion(usage)
    except (HelpShapeError, OSError, ValueError, KeyError) as error:
        print(f"make_cli_docs.py: {error}", file=sys.stderr)
        return 1

    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    date = (datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).strftime("%Y-%m-%d")
            if epoch else "")
    page = manual_page(usage, description, entries, codes, remark, log_folders,
                       arguments.udev_rule, date)
    for path, text in ((arguments.man, page), (arguments.completion, script)):
        with open(path, "w", encoding="utf-8") as file:
            file.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
