#!/usr/bin/env python3
"""The command-line demo end to end, under a pseudo-terminal as a person would run it: each state
of `status` in both languages, in a Latin-1 locale and in locales that are not installed, whole
updates with the bar on a terminal that is resized, with the progress lines on a dumb terminal and
into a pipe, with Ctrl-C, Ctrl-\\, Ctrl-Z, kill and a hang-up while it writes, on a terminal
stopped with Ctrl-S for 30 s, a declined confirmation with the output in a file, a refused command
with its error-code line and an output that cannot be written; the log of a whole update checked
as the protocol's transcript and served back to the demo (UPDATER_REPLAY), as recorded and with
its last block refused; the demo's log in its own folder, its user's alone, and one that cannot be
written said.

    cli_e2e_test.py DEMO_EXECUTABLE CATALOGUE_JSON
"""
import fcntl
import hashlib
import json
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time
import unittest

DEMO = None
CATALOGUE = {}
WORK = None  # a folder for the whole test: the locales, each run's files
# The locales that the runs use, made by localedef in a folder of their own (LOCPATH): a machine
# need not have them installed. Those that could not be made are false here.
LOCALES = {}
LOCALE_FOLDER = None
BLOCKS = 1880  # the image's 48-byte blocks


def text(text_id, language):
    """A catalogue text as the terminal shows it."""
    return CATALOGUE[text_id][language].replace("\r\n", "\n")


def make_locales():
    global LOCALE_FOLDER
    LOCALE_FOLDER = os.path.join(WORK, "locales")
    os.mkdir(LOCALE_FOLDER)
    for name, source, charset in [("en_US.UTF-8", "en_US", "UTF-8"),
                                  ("de_DE.UTF-8", "de_DE", "UTF-8"),
                                  ("de_DE.ISO-8859-1", "de_DE", "ISO-8859-1")]:
        target = os.path.join(LOCALE_FOLDER, name)
        if shutil.which("localedef"):
            subprocess.run(["localedef", "-c", "-i", source, "-f", charset, target],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        LOCALES[name] = os.path.exists(os.path.join(target, "LC_CTYPE"))


def needs_locale(test, name):
    if not LOCALES.get(name):
        test.skipTest(f"the locale {name} could not be made (localedef, Debian's locales)")


def shell(line, job_control=False):
    """A command line run by bash, $DEMO the demo, then its exit code (the first of a
    pipeline's) on a line of its own. Without job control, bash and the command are one
    foreground process group, which Ctrl-C ends as a whole; with it, the command is a job in a
    process group of its own, as at an interactive prompt, which Ctrl-Z would stop."""
    return ["/bin/bash", "-c", ("set -m; " if job_control else "") + line +
            '; echo "updater exit ${PIPESTATUS[0]}"']


class Run:
    """One run on a pseudo-terminal: what it printed and how it ended. Each answer is typed once
    its question's prompt has appeared; each event (marker, delay, action) acts once, in order,
    delay seconds after its marker appeared in the output."""

    def __init__(self, command, bench="", language="en_US.UTF-8", answers=(), events=(),
                 columns=80, env=None, timeout=120):
        self.folder = tempfile.mkdtemp(dir=WORK)
        self.transcript = os.path.join(self.folder, "transcript.txt")
        self.env = {"PATH": "/usr/bin:/bin", "TERM": "xterm", "LC_ALL": language,
                    "LOCPATH": LOCALE_FOLDER, "DEMO": DEMO, "UPDATER_SIM_BENCH": bench,
                    "UPDATER_SIM_TRANSCRIPT": self.transcript, "FOLDER": self.folder}
        self.env.update(env or {})
        self.env = {name: value for name, value in self.env.items() if value is not None}  # unset
        self.command = command
        self.columns = columns
        self.answers = list(answers)
        self.events = list(events)
        self.timeout = timeout
        self.marks = {}
        self.raw = b""

    def start(self):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # Python ignores it; a shell would not
            fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 24, self.columns, 0, 0))
            os.execve(self.command[0], self.command, self.env)
        self.thread = threading.Thread(target=self._follow)
        self.thread.start()
        return self

    def finish(self):
        self.thread.join()
        return self

    def run(self):
        return self.start().finish()

    # Actions of events.
    def type(self, keys):
        os.write(self.fd, keys)

    def resize(self, columns):
        self.marks["resized"] = len(self.raw)
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))

    def signal_updater(self, number):
        os.kill(self.updater_pid(), number)

    def updater_pid(self):
        """The demo's process in this run's session."""
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    session = int(stat.read().rsplit(")", 1)[1].split()[3])
                if session == self.pid and \
                        os.readlink(f"/proc/{entry}/exe") == os.path.realpath(DEMO):
                    return int(entry)
            except (OSError, IndexError, ValueError):
                continue
        raise AssertionError("the demo is not running")

    def _follow(self):
        deadline = time.monotonic() + self.timeout
        event_since = None
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    chunk = os.read(self.fd, 4096)
                except OSError:  # the run has ended and closed the terminal
                    break
                if not chunk:
                    break
                self.raw += chunk
            if self.answers and self.raw.rstrip().endswith((b"[y/N]", b"[j/N]")):
                os.write(self.fd, self.answers.pop(0).encode() + b"\r")
                self.raw += b"\n"
            if self.events:
                marker, delay, action = self.events[0]
                if event_since is None and marker in self.raw:
                    event_since = time.monotonic()
                if event_since is not None and time.monotonic() - event_since >= delay:
                    self.events.pop(0)
                    event_since = None
                    action(self)
        else:
            os.killpg(self.pid, signal.SIGKILL)
        _, status = os.waitpid(self.pid, 0)
        os.close(self.fd)
        self.exit_code = os.waitstatus_to_exitcode(status)
        self.output = self.raw.decode("utf-8", "replace").replace("\r\n", "\n")

    @property
    def updater_exit(self):
        """The updater's exit code, as the shell of shell() told it."""
        found = re.search(r"updater exit (\d+)", self.output)
        return int(found.group(1)) if found else None

    def commands_sent(self, unit=None):
        """The command code of each report sent to the simulated unit, from its transcript; with
        several units, to unit number `unit` (from 1)."""
        return [code for _, code in self.requests(unit)]

    def requests(self, unit=None):
        """(ms, command code) of each report sent, from the transcript of the unit or units."""
        name = self.transcript if unit is None else f"{self.transcript}.{unit}"
        with open(name) as transcript:
            return [(int(line.split()[0]), line.split()[3]) for line in transcript
                    if line.split()[1] == "OUT"]

    def file(self, name):
        with open(os.path.join(self.folder, name), "rb") as written:
            return written.read().decode("utf-8").replace("\r\n", "\n")


class Status(unittest.TestCase):
    CASES = [
        # bench words, language, exit code, what the three rows start with, the status text
        ("", "en", 0, ["LINK-CUBE:", "ESC-bootloader:", "ESC:"], 40000),
        ("linkwave", "de", 0, ["LINKWAVE:", "Regler-Bootloader:", "Regler:"], 40000),
        ("unplugged", "en", 2, ["programming unit:", "ESC-bootloader:", "ESC:"], 40017),
        ("unplugged", "de", 2, ["Programmiereinheit:", "Regler-Bootloader:", "Regler:"], 40017),
        ("wrong-mode", "en", 3, ["programming unit:"], 40015),
        ("wrong-mode", "de", 3, ["Programmiereinheit:"], 40015),
        ("no-controller", "en", 3, ["programming unit:"], 40016),
        ("no-controller", "de", 3, ["Programmiereinheit:"], 40016),
        ("other-type", "en", 3, ["programming unit:"], 40035),
        ("other-type", "de", 3, ["Programmiereinheit:"], 40035),
    ]
    # How a ready unit is updated from the terminal, in place of the window's button.
    RUN_UPDATE = {
        "en": "To update the ESC firmware, run: terval-updater-cli update",
        "de": "Um die Regler-Firmware zu aktualisieren, führen Sie aus: terval-updater-cli update",
    }

    def test_each_state_with_its_exit_code_and_text(self):
        for bench, language, exit_code, rows, status in self.CASES:
            with self.subTest(bench=bench, language=language):
                locale = "de_DE.UTF-8" if language == "de" else "en_US.UTF-8"
                needs_locale(self, locale)
                run = Run([DEMO, "status"], bench=bench, language=locale).run()
                self.assertEqual(run.exit_code, exit_code, run.output)
                lines = run.output.split("\n")
                for line, caption in zip(lines, rows):
                    self.assertTrue(line.startswith(caption), line)
                if status == 40000:
                    ready = text(40000, language)
                    first_sentence = ready[:ready.index(". ") + 1]
                    note = ready[ready.index("\n\n"):]
                    self.assertIn(first_sentence + "\n" + self.RUN_UPDATE[language] + note,
                                  run.output)
                    self.assertNotIn("'Update'", run.output)
                else:
                    self.assertIn(text(status, language), run.output)
                    self.assertIn(text(40001, language), run.output)

    def test_texts_in_the_locales_character_set(self):
        needs_locale(self, "de_DE.ISO-8859-1")
        run = Run([DEMO, "status"], bench="unplugged", language="de_DE.ISO-8859-1").run()
        self.assertEqual(run.exit_code, 2, run.output)
        latin1 = run.raw.replace(b"\r\n", b"\n")
        self.assertIn(text(40017, "de").encode("latin-1"), latin1)  # "folgendermaßen"
        # "Windows™PC": no ™ in Latin-1.
        self.assertIn(text(40001, "de").encode("latin-1", "replace"), latin1)
        self.assertIn(b"Windows?PC", latin1)
        self.assertNotIn("ß".encode("utf-8"), latin1)

    def test_a_locale_not_installed_keeps_its_language_and_character_set(self):
        # Names that no machine has: the language by LC_ALL, LC_MESSAGES, LANG; the character set
        # by LC_ALL, LC_CTYPE, LANG, as their names carry it; ASCII for a name without one.
        for env, language, charset in [
                ({"LC_ALL": "de_XX.UTF-8"}, "de", "utf-8"),
                ({"LC_ALL": "en_XX.UTF-8"}, "en", "utf-8"),
                ({"LC_ALL": None, "LANG": "de_XX.ISO-8859-1"}, "de", "latin-1"),
                ({"LC_ALL": None, "LC_CTYPE": "en_XX.UTF-8", "LANG": "de_XX.ISO-8859-1"}, "de",
                 "utf-8"),
                ({"LC_ALL": None, "LC_MESSAGES": "en_XX.UTF-8", "LANG": "de_XX.utf8"}, "en",
                 "utf-8"),
                ({"LC_ALL": None, "LANG": "de_XX"}, "de", "ascii")]:
            with self.subTest(env=env):
                run = Run([DEMO, "status"], bench="unplugged", env=env).run()
                self.assertEqual(run.exit_code, 2, run.output)
                written = run.raw.replace(b"\r\n", b"\n")
                for text_id in (40017, 40001):  # "folgendermaßen", "Windows™PC"
                    self.assertIn(text(text_id, language).encode(charset, "replace"), written)

    def test_an_output_that_cannot_be_written_ends_with_1_and_a_message(self):
        run = Run(shell('"$DEMO" status > /dev/full')).run()
        self.assertEqual(run.updater_exit, 1, run.output)
        self.assertIn("terval-updater-cli: the standard output could not be written.",
                      run.output)


def progress_lines(output):
    """The lines of a bar drawn in place, each as the terminal showed it."""
    return [segment.split("\x1b[K")[0] for segment in output.split("\r")[1:]
            if segment.lstrip().startswith(tuple("0123456789"))]


WHOLE_UPDATES = {}


def whole_updates():
    """Whole updates in real time, some 45 s each, all at once, the first time they are asked
    for."""
    if not WHOLE_UPDATES:
        pipeline = '"$DEMO" update --yes 2>&1 | tee "$FOLDER/log"'
        WHOLE_UPDATES.update({
            # The bar on a terminal of 40 columns, narrowed to 30 halfway; Ctrl-C in the erase's
            # pause, Ctrl-\ and Ctrl-Z among the blocks.
            "bar": Run(shell('"$DEMO" update', job_control=True), answers=["y"], columns=40, events=[
                (b"[y/N]", 1.5, lambda run: run.type(b"\x03")),
                (b" 30 % [", 0, lambda run: run.type(b"\x1c")),
                (b" 40 % [", 0, lambda run: run.type(b"\x1a")),
                (b" 50 % [", 0, lambda run: run.resize(30)),
            ]),
            "dumb": Run([DEMO, "update", "--yes"], env={"TERM": "dumb"}),
            "tee-ctrl-c": Run(shell(pipeline), events=[
                (b"20 %", 0, lambda run: run.type(b"\x03"))]),
            "tee-term": Run(shell(pipeline), events=[
                (b"20 %", 0, lambda run: run.signal_updater(signal.SIGTERM))]),
            "tee-hup": Run(shell(pipeline), events=[
                (b"20 %", 0, lambda run: run.signal_updater(signal.SIGHUP))]),
            # Four units side by side, each with a line of the bar; Ctrl-C among the blocks.
            "four-units": Run([DEMO, "update", "--all", "--yes"],
                              bench="ready,ready,linkwave,ready", columns=70, events=[
                                  (b" 30 % [", 0, lambda run: run.type(b"\x03"))]),
            # A terminal that takes no output: Ctrl-S at 10 %, a kill a second later (its notice
            # waits for the terminal too; Ctrl-C would start the output again), Ctrl-Q 30 s after
            # Ctrl-S.
            "ctrl-s": Run([DEMO, "update", "--yes"], events=[
                (b" 10 % [", 0, lambda run: run.type(b"\x13")),
                (b" 10 % [", 1, lambda run: run.signal_updater(signal.SIGTERM)),
                (b" 10 % [", 29, lambda run: run.type(b"\x11")),
            ]),
            # With its log in a file of its own (the class SessionLog reads it).
            "logged": Run(shell('"$DEMO" update --yes --log "$FOLDER/run.log"')),
        })
        for run in WHOLE_UPDATES.values():
            run.timeout = 180
            run.start()
        for run in WHOLE_UPDATES.values():
            run.finish()
    return WHOLE_UPDATES


class WholeUpdates(unittest.TestCase):
    """Whole updates in real time: the bar, the progress lines, and the signals."""

    @classmethod
    def setUpClass(cls):
        cls.runs = whole_updates()

    def assert_whole_update(self, run):
        sent = run.commands_sent()
        self.assertEqual(sent.count("1b"), BLOCKS, "every block")
        self.assertEqual(sent[-2:], ["20", "0b"], "protection on, the lock released")

    def test_the_bar_fits_the_terminal_and_the_keys_stop_nothing(self):
        run = self.runs["bar"]
        self.assertEqual(run.updater_exit, 0, run.output[-2000:])
        self.assertNotIn("Stopped", run.output)
        self.assert_whole_update(run)
        self.assertIn(text(40038, "en"), run.output)  # the warning, asked first
        said = text(40029, "en")
        self.assertEqual(run.output.count(said), 1, "said once")
        self.assertLess(run.output.index(said), run.output.index("  0 % ["),
                        "said at once, in the erase's pause")
        lines = progress_lines(run.output)
        self.assertTrue(all(len(line) < 40 for line in lines), lines)
        self.assertIn(" 20 % [" + "#" * 5 + "." * 21 + "] ", run.output)  # 26 of 40 columns
        after_resize = [line for line in lines if int(line.split("%")[0]) >= 60]
        self.assertTrue(after_resize and all(len(line) < 30 for line in after_resize),
                        after_resize)
        self.assertIn("100 % [" + "#" * 16 + "] 0:00", run.output)  # 16 of 30 columns
        self.assertIn(text(40032, "en"), run.output)

    def test_a_dumb_terminal_gets_a_line_per_tenth(self):
        run = self.runs["dumb"]
        self.assertEqual(run.exit_code, 0, run.output[-2000:])
        tenths = "".join(f"{tenth} %\n" for tenth in range(10, 101, 10))
        self.assertIn("\n" + tenths + "\n" + text(40032, "en"), run.output)
        self.assertNotIn("\r", run.output.replace("\r\n", "\n"))

    def test_ctrl_c_to_the_pipeline_ends_tee_but_not_the_update(self):
        run = self.runs["tee-ctrl-c"]
        self.assertNotIn(text(40032, "en"), run.file("log"), "tee ended before the outcome")
        self.assertEqual(run.updater_exit, 0, run.output[-2000:])
        self.assert_whole_update(run)

    def test_four_units_are_updated_side_by_side_each_whole_and_exact(self):
        run = self.runs["four-units"]
        self.assertEqual(run.exit_code, 0, run.output[-3000:])
        identify = ["08", "1d", "22"]
        whole = identify * 2 + ["0b", "20", "1e", "1f"] + ["1b"] * BLOCKS + ["20", "0b"]
        for unit in range(1, 5):
            with self.subTest(unit=unit):
                requests = run.requests(unit)
                self.assertEqual([code for _, code in requests], whole)
                # Each unit's own pacing: 20 ms before the unprotect, the erase and the address,
                # 5 s from the erase to the address, 20 ms after every block.
                times = [ms for ms, _ in requests]
                lock = 6
                gaps = [b - a for a, b in zip(times[lock:], times[lock + 1:])]
                self.assertGreaterEqual(min(gaps[:2]), 20)
                self.assertGreaterEqual(gaps[2], 5020)
                self.assertGreaterEqual(min(gaps[3:-1]), 20)
        # A line per unit, naming it, the block of four redrawn in place; Ctrl-C said once.
        for unit in range(4):
            self.assertIn(f"\r/dev/hidraw{unit} 100 % [", run.output)
        self.assertIn("\x1b[4A\r/dev/hidraw0 ", run.output)
        self.assertEqual(run.output.count(text(40029, "en")), 1)
        lines = [segment.split("\x1b[K")[0] for segment in run.output.split("\r")[1:]
                 if segment.startswith("/dev/hidraw")]
        self.assertGreater(len(lines), 4 * 100)
        self.assertTrue(all(len(line) < 70 for line in lines), lines)
        for unit, model in enumerate(["LINK-CUBE", "LINK-CUBE", "LINKWAVE", "LINK-CUBE"]):
            self.assertIn(f"/dev/hidraw{unit} ({model}): {text(40032, 'en')}\n", run.output)

    def test_a_terminal_stopped_with_ctrl_s_stalls_no_request(self):
        run = self.runs["ctrl-s"]
        self.assertEqual(run.exit_code, 0, run.output[-2000:])
        self.assert_whole_update(run)
        blocks = [ms for ms, code in run.requests() if code == "1b"]
        gaps = [b - a for a, b in zip(blocks, blocks[1:])]
        self.assertLessEqual(max(gaps), 1000, "the longest wait between two blocks")
        # The bar took up the blocks' state once the terminal took output again: the percentages
        # of the 30 s in between were never drawn, the end was.
        drawn = [int(line.split("%")[0]) for line in progress_lines(run.output)]
        self.assertGreaterEqual(max(b - a for a, b in zip(drawn, drawn[1:])), 40, drawn)
        self.assertEqual(drawn[-1], 100)
        self.assertEqual(run.output.count(text(40029, "en")), 1)
        self.assertTrue(run.output.rstrip().endswith(text(40032, "en")), run.output[-300:])

    def test_kill_and_a_hang_up_are_said_and_the_update_finishes(self):
        for name in ["tee-term", "tee-hup"]:
            with self.subTest(name):
                run = self.runs[name]
                self.assertEqual(run.updater_exit, 0, run.output[-2000:])
                self.assert_whole_update(run)
                log = run.file("log")
                self.assertEqual(log.count(text(40029, "en")), 1, log)
                self.assertTrue(log.rstrip().endswith(text(40032, "en")), log[-300:])


def exchanges(log):
    """The exchange lines of a session log, read as a transcript: (ms, OUT or IN, bytes)."""
    lines = []
    for line in log.splitlines():
        if line and not line.startswith("#"):
            ms, direction, *data = line.split()
            lines.append((int(ms), direction, bytes(int(byte, 16) for byte in data)))
    return lines


def header_value(log, key):
    found = re.search(r"^# " + re.escape(key) + r": (.*)$", log, re.MULTILINE)
    return found.group(1) if found else None


def refused_last_block(log):
    """The log with the last block's reply turned into a refusal with the code 0x107."""
    lines = log.splitlines()
    last = max(i for i, line in enumerate(lines)
               if not line.startswith("#") and line.split()[1:4] == ["OUT", "01", "1b"])
    ms, direction, *data = lines[last + 1].split()
    data[1] = "ff"
    data[4:8] = ["07", "01", "00", "00"]
    lines[last + 1] = " ".join([ms, direction] + data)
    return "\n".join(lines) + "\n"


class SessionLog(unittest.TestCase):
    """The log of a whole update (made beside the other whole updates), checked as a transcript
    of the protocol, then served to the demo in place of its bench: as recorded, and with the
    last block refused."""

    def setUp(self):
        run = whole_updates()["logged"]
        self.assertEqual(run.updater_exit, 0, run.output[-2000:])
        self.folder = run.folder
        self.log_file = os.path.join(run.folder, "run.log")
        self.log = run.file("run.log")

    def test_the_log_holds_the_protocol_as_it_went(self):
        lines = exchanges(self.log)
        self.assertEqual([d for _, d, _ in lines], ["OUT", "IN"] * (len(lines) // 2),
                         "each request answered once")
        self.assertTrue(all(len(data) == 60 for _, _, data in lines))
        requests = [(ms, data) for ms, d, data in lines if d == "OUT"]
        replies = [(ms, data) for ms, d, data in lines if d == "IN"]
        self.assertTrue(all(data[0] == 0x01 for _, data in requests))
        self.assertTrue(all(data[0] == 0x02 and data[1] != 0xFF for _, data in replies))
        commands = [data[1] for _, data in requests]
        self.assertEqual(commands, [0x08, 0x1D, 0x22] * 2 + [0x0B, 0x20, 0x1E, 0x1F] +
                         [0x1B] * BLOCKS + [0x20, 0x0B])
        erase = commands.index(0x1E)
        self.assertGreaterEqual(replies[erase][0] - requests[erase][0], 1000, "the erase's wait")
        self.assertGreaterEqual(requests[erase + 1][0] - replies[erase][0], 4020,
                                "4000 ms after the erase, 20 before the address")
        blocks = [i for i, command in enumerate(commands) if command == 0x1B]
        self.assertTrue(all(requests[i + 1][0] - replies[i][0] >= 20 for i in blocks),
                        "20 ms after every block")
        image = b"".join(requests[i][1][4:4 + requests[i][1][2]] for i in blocks)
        self.assertTrue(image.startswith(b"PLACEHOLDER, NOT FIRMWARE."), image[:40])
        self.assertEqual(hashlib.sha256(image).hexdigest(), header_value(self.log, "image sha256"),
                         "the blocks are the image whose digest the header names")
        self.assertEqual(requests[blocks[-1]][1][52:], b"\x00" * 8)
        self.assertEqual(requests[blocks[-1]][1][36:52], b"\xff" * 16, "the short block's filling")

    def test_the_header_names_the_program_the_system_and_the_start(self):
        self.assertEqual(header_value(self.log, "program"), "terval-updater-cli 1.0")
        self.assertEqual(header_value(self.log, "system").split()[0], "Linux")
        self.assertRegex(header_value(self.log, "started"), r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertRegex(self.log, r"\n# \d+ unit vendor 5ea7 product 0002 output 60 input 60 path ")
        self.assertRegex(self.log, r"\n# \d+ outcome: the update succeeded\n# \d+ exit code 0\n$")

    def test_the_recording_replayed_succeeds(self):
        run = Run([DEMO, "update", "--yes"], env={"UPDATER_REPLAY": self.log_file}).run()
        self.assertEqual(run.exit_code, 0, run.output[-2000:])
        self.assertIn(text(40032, "en"), run.output)
        self.assertNotIn("not as recorded", run.output)

    def test_the_last_block_refused_in_the_recording_fails_the_replay(self):
        refused = os.path.join(self.folder, "refused.log")
        with open(refused, "w") as altered:
            altered.write(refused_last_block(self.log))
        run = Run([DEMO, "update", "--yes"], env={"UPDATER_REPLAY": refused}).run()
        self.assertEqual(run.exit_code, 1, run.output[-2000:])
        self.assertIn(text(40009, "en") + "\n" +
                      text(40036, "en").replace("%08x", "%s") % ("00000107", "00000000"),
                      run.output)
        self.assertNotIn("not as recorded", run.output)

    def test_a_recording_of_another_image_is_refused(self):
        other = os.path.join(self.folder, "other-image.log")
        with open(other, "w") as altered:
            altered.write(self.log.replace(header_value(self.log, "image sha256"), "00" * 32))
        run = Run([DEMO, "update", "--yes"], env={"UPDATER_REPLAY": other}).run()
        self.assertEqual(run.exit_code, 64, run.output)
        self.assertIn("was made with the image whose SHA-256 is " + "00" * 32, run.output)
        self.assertNotIn(text(40038, "en"), run.output, "nothing asked, nothing sent")


class LogFile(unittest.TestCase):
    """Where the demo's log goes and what becomes of it, with a refused erase (a short run)."""

    def test_the_demos_log_is_the_users_own_in_a_folder_of_its_own(self):
        run = Run(shell('export XDG_STATE_HOME="$FOLDER/state"; umask 022; "$DEMO" update --yes'),
                  bench="erase-refused").run()
        self.assertEqual(run.updater_exit, 1, run.output)
        folder = os.path.join(run.folder, "state", "terval-updater-cli-demo")
        self.assertEqual(os.listdir(os.path.join(run.folder, "state")),
                         ["terval-updater-cli-demo"], "the program's folder is not touched")
        logs = os.listdir(folder)
        self.assertEqual(len(logs), 1, logs)
        self.assertTrue(logs[0].endswith(".log"), logs)
        log = os.path.join(folder, logs[0])
        self.assertIn("The log of this run: " + log + "\n", run.output)
        self.assertEqual(os.stat(folder).st_mode & 0o777, 0o700)
        self.assertEqual(os.stat(log).st_mode & 0o777, 0o600)
        with open(log) as written:
            self.assertRegex(written.read(), r"\n# \d+ exit code 1\n$", "whole, to the end")

    def test_a_log_that_cannot_be_written_is_said_and_the_exit_code_stays(self):
        # No room for any byte: a write fails as on a full disk (and the signal of the file size
        # limit does not end the run).
        run = Run(shell('export XDG_STATE_HOME="$FOLDER/state"; ulimit -f 0; '
                        '"$DEMO" update --yes'), bench="erase-refused").run()
        self.assertEqual(run.updater_exit, 1, run.output)
        self.assertIn(text(40028, "en"), run.output)
        self.assertEqual(run.output.count(text(40042, "en") + "\n"), 1, run.output)
        self.assertNotIn("The log of this run: ", run.output)
        folder = os.path.join(run.folder, "state", "terval-updater-cli-demo")
        self.assertEqual(os.listdir(folder), [], "no empty or partial log")


class Update(unittest.TestCase):
    def test_the_questions_stay_on_the_terminal_when_the_output_is_a_file(self):
        needs_locale(self, "de_DE.UTF-8")
        run = Run(shell('"$DEMO" update > "$FOLDER/out"'), language="de_DE.UTF-8",
                  answers=["n"]).run()
        self.assertEqual(run.updater_exit, 4, run.output)
        self.assertIn(text(40038, "de") + "\nFortfahren? [j/N] ", run.output)
        written = run.file("out")
        self.assertTrue(written.startswith("LINK-CUBE:"), written)
        self.assertIn("Das Update wurde nicht gestartet.", written)
        self.assertNotIn(text(40038, "de"), written)
        self.assertNotIn("[j/N]", written)
        self.assertNotIn("%", run.output)

    def test_a_refused_command_shows_its_error_code_line(self):
        run = Run([DEMO, "update", "--yes"], bench="erase-refused").run()
        self.assertEqual(run.exit_code, 1, run.output)
        self.assertIn(text(40028, "en") + "\n" +
                      text(40036, "en").replace("%08x", "%s") % ("00000107", "00000000"),
                      run.output)
        self.assertIn(text(40030, "en"), run.output)

    def test_a_report_nobody_asked_for_is_never_taken_as_a_reply(self):
        # The unit sends a report unasked right after it answers block 10: found waiting before
        # block 11's request, it means the reply before may have been another's, so the update
        # stops there with the program's own error for it, and block 11 is not sent.
        run = Run([DEMO, "update", "--yes"], bench="stray-report").run()
        self.assertEqual(run.exit_code, 1, run.output)
        self.assertIn(text(40009, "en") + "\n" +
                      text(40036, "en").replace("%08x", "%s") % ("fffffffe", "e0000002"),
                      run.output)
        self.assertIn(text(40030, "en"), run.output)
        self.assertNotIn(text(40032, "en"), run.output)
        self.assertEqual(run.commands_sent().count("1b"), 10, "nothing after block 10")

    def test_a_controller_changed_behind_the_questions_is_asked_about_again(self):
        # After the warning the unit is identified again and its controller now reports 2.0:
        # the warning and the older-or-same question come again, and no sends nothing.
        run = Run([DEMO, "update"], bench="controller-changes", answers=["y", "y", "n"]).run()
        self.assertEqual(run.exit_code, 4, run.output)
        self.assertEqual(run.output.count(text(40038, "en")), 2, run.output)
        self.assertIn(text(40023, "en"), run.output)
        for code in ("0b", "20", "1e", "1f", "1b"):
            self.assertNotIn(code, run.commands_sent())

    def test_a_bench_the_demo_does_not_know_is_refused_by_name(self):
        run = Run([DEMO, "status"], bench="linkcbue").run()
        self.assertEqual(run.exit_code, 64, run.output)
        self.assertIn('UPDATER_SIM_BENCH="linkcbue"', run.output)
        self.assertIn("stray-report controller-changes", run.output)
        self.assertFalse(os.path.exists(run.transcript) and run.commands_sent())

    def test_several_units_without_a_choice_are_not_written(self):
        run = Run([DEMO, "update", "--yes"], bench="ready,linkwave,erase-refused").run()
        self.assertEqual(run.exit_code, 64, run.output)
        for unit in range(3):
            self.assertIn(f"terval-updater-cli update --yes --device /dev/hidraw{unit}",
                          run.output)
        self.assertIn("terval-updater-cli update --yes --all", run.output)
        for unit in range(1, 4):
            self.assertNotIn("0b", run.commands_sent(unit), f"a lock sent to unit {unit}")

    def test_status_as_json(self):
        run = Run(shell('"$DEMO" status --json > "$FOLDER/json"'),
                  bench="ready,linkwave wrong-mode,other-type,linkwave no-firmware").run()
        self.assertEqual(run.updater_exit, 3, run.output)
        units = json.loads(run.file("json"))
        self.assertEqual([(unit["path"], unit["productId"], unit["model"], unit["state"])
                          for unit in units],
                         [("/dev/hidraw0", 2, "LINK-CUBE", "ready"),
                          ("/dev/hidraw1", 1, "LINKWAVE", "wrong-mode"),
                          ("/dev/hidraw2", 2, "LINK-CUBE", "incompatible"),
                          ("/dev/hidraw3", 1, "LINKWAVE", "ready")])
        rows = ("unitFirmware", "escBootloader", "escFirmware")
        self.assertEqual([units[0][row] for row in rows], ["1.2", "1.5", "0.9"])
        self.assertEqual(units[1]["escFirmware"], "0.0.0")
        self.assertEqual(units[3]["escFirmware"], "----------")

    def test_a_usage_error_ends_with_64(self):
        self.assertEqual(Run([DEMO, "update", "--force"]).run().exit_code, 64)


if __name__ == "__main__":
    DEMO = os.path.abspath(sys.argv.pop(1))
    with open(sys.argv.pop(1), encoding="utf-8") as catalogue:
        for line in catalogue:
            line = line.strip().rstrip(",")
            if line.startswith("{\"id\""):
                entry = json.loads(line)
                CATALOGUE[entry["id"]] = entry
    WORK = tempfile.mkdtemp(prefix="cli-e2e-")
    try:
        make_locales()
        unittest.main(verbosity=2)
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
