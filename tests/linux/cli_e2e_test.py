#!/usr/bin/env python3
"""The command-line demo end to end, under a pseudo-terminal as a person would run it: each state
of `status` in both languages, a whole update with its bar and a Ctrl-C in the middle, a declined
confirmation and a refused command with its error-code line.

    cli_e2e_test.py DEMO_EXECUTABLE CATALOGUE_JSON
"""
import json
import os
import pty
import select
import sys
import time
import unittest

DEMO = None
CATALOGUE = {}


def text(text_id, language):
    """A catalogue text as the terminal shows it."""
    return CATALOGUE[text_id][language].replace("\r\n", "\n")


class Run:
    """One run of the demo on a pseudo-terminal: what it printed and how it ended."""

    def __init__(self, arguments, bench="", language="en_US.UTF-8", answers=(),
                 interrupt_after=None, timeout=120):
        env = {"PATH": "/usr/bin:/bin", "LC_ALL": language, "UPDATER_SIM_BENCH": bench}
        pid, fd = pty.fork()
        if pid == 0:
            os.execve(DEMO, [DEMO] + arguments, env)
        output = b""
        answers = list(answers)
        interrupted = False
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ready, _, _ = select.select([fd], [], [], 0.2)
            if ready:
                try:
                    chunk = os.read(fd, 4096)
                except OSError:  # the demo has ended and closed the terminal
                    break
                if not chunk:
                    break
                output += chunk
            # Each answer is typed once its question's prompt has appeared.
            if answers and output.count(b"[y/N]") + output.count(b"[j/N]") > 0 and \
                    output.rstrip().endswith((b"[y/N]", b"[j/N]")):
                os.write(fd, answers.pop(0).encode() + b"\r")
                output += b"\n"
            if interrupt_after and not interrupted and interrupt_after.encode() in output:
                os.write(fd, b"\x03")  # Ctrl-C, as the terminal sends it
                interrupted = True
        else:
            os.kill(pid, 9)
        _, status = os.waitpid(pid, 0)
        self.exit_code = os.waitstatus_to_exitcode(status)
        self.output = output.decode("utf-8", "replace").replace("\r\n", "\n")


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

    def test_each_state_with_its_exit_code_and_text(self):
        for bench, language, exit_code, rows, status in self.CASES:
            with self.subTest(bench=bench, language=language):
                locale = "de_DE.UTF-8" if language == "de" else "en_US.UTF-8"
                run = Run(["status"], bench=bench, language=locale)
                self.assertEqual(run.exit_code, exit_code, run.output)
                lines = run.output.split("\n")
                for line, caption in zip(lines, rows):
                    self.assertTrue(line.startswith(caption), line)
                self.assertIn(text(status, language), run.output)
                if status != 40000:
                    self.assertIn(text(40001, language), run.output)


class Update(unittest.TestCase):
    def test_whole_update_with_the_bar_and_a_ctrl_c_that_does_not_stop_it(self):
        run = Run(["update"], answers=["y"], interrupt_after=" 20 % [", timeout=180)
        self.assertEqual(run.exit_code, 0, run.output[-2000:])
        self.assertIn(text(40038, "en"), run.output)  # the warning, asked first
        self.assertIn("100 % [########################################] 0:00", run.output)
        said = text(40029, "en")
        self.assertEqual(run.output.count(said), 1, "the interruption is said once")
        self.assertGreater(run.output.index("100 % ["), run.output.index(said))
        self.assertTrue(run.output.rstrip().endswith(text(40032, "en")), run.output[-300:])

    def test_a_declined_confirmation_sends_nothing(self):
        run = Run(["update"], language="de_DE.UTF-8", answers=["n"])
        self.assertEqual(run.exit_code, 4, run.output)
        self.assertIn(text(40038, "de"), run.output)
        self.assertNotIn("%", run.output)

    def test_a_refused_command_shows_its_error_code_line(self):
        run = Run(["update", "--yes"], bench="erase-refused")
        self.assertEqual(run.exit_code, 1, run.output)
        self.assertIn(text(40028, "en") + "\n" +
                      text(40036, "en").replace("%08x", "%s") % ("00000107", "00000000"),
                      run.output)
        self.assertIn(text(40030, "en"), run.output)

    def test_a_usage_error_ends_with_64(self):
        self.assertEqual(Run(["update", "--force"]).exit_code, 64)


if __name__ == "__main__":
    DEMO = os.path.abspath(sys.argv.pop(1))
    with open(sys.argv.pop(1), encoding="utf-8") as catalogue:
        for line in catalogue:
            line = line.strip().rstrip(",")
            if line.startswith("{\"id\""):
                entry = json.loads(line)
                CATALOGUE[entry["id"]] = entry
    unittest.main(verbosity=2)
