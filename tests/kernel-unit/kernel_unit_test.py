#!/usr/bin/env python3
"""terval-updater-cli-test-image against Debian's kernel under qemu (tools/kernel-unit), the unit
presented through UHID (KernelUnituhid) or as a USB gadget on dummy_hcd (KernelUnitusb). Each
class boots one guest that runs its scenarios in turn, each into a folder of its own under
/results, and checks each scenario in a test of its own.

  kernel_unit_test.py --program P --server S --image IMAGE CLASS
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OPTIONS = None
BLOCK = 48

# bench words, exit code, what the first row starts with
STATUS_CASES = [
    ("ready", 0, "LINK-CUBE:"),
    ("linkwave", 0, "LINKWAVE:"),
    ("wrong-mode", 3, "programming unit:"),
    ("no-controller", 3, "programming unit:"),
    ("other-type", 3, "programming unit:"),
    ("unplugged", 2, "programming unit:"),
]

# Each status case in a folder of its own: status, then status --json.
STATUS_JOB = r"""
for bench in %s; do
  mkdir -p status-$bench
  unit_start $USB --bench $bench
  unit_node > status-$bench/node
  program status > status-$bench/out 2> status-$bench/err; echo $? > status-$bench/exit
  program status --json > status-$bench/json 2>/dev/null; echo $? > status-$bench/json-exit
  unit_stop
done
""" % " ".join(bench for bench, _, _ in STATUS_CASES)

# An update in the background on a unit of its own: update_on NAME [BENCH].
UPDATE_JOB = r"""
update_on() {
  mkdir -p $1
  unit_start $USB --bench "${2:-ready}" --transcript /results/$1/transcript
  echo $UNIT_PID > $1/server
  unit_node > $1/node
  # The program itself in the background (not the shell function): $! is its pid.
  $SIGNALS "$PROGRAM" update --yes --device "$(cat $1/node)" > $1/out 2> $1/err &
  echo $! > $1/pid
}
# Waits for the update NAME to end, then ends its unit.
finish() {
  wait "$(cat $1/pid)"; echo $? > $1/exit
  unit_stop "$(cat $1/server)"
}
"""

UHID_JOB = STATUS_JOB + r"""
mkdir -p user
unit_start
unit_node > user/node
program_as_user status > user/out 2> user/err; echo $? > user/exit
unit_stop
""" + UPDATE_JOB + r"""
# Side by side, each on its own unit: a whole update with a second copy started among its blocks,
# one with another program reading the node throughout, SIGTERM and SIGINT among the blocks, the
# unit pulled out among the blocks. (busybox's sh, without job control here, starts background
# jobs with SIGINT ignored; the server's --signals-at-default starts that program with it at its
# default, as a terminal's job has it.)
mkdir -p reader
unit_start --transcript /results/reader/transcript
echo $UNIT_PID > reader/server
unit_node > reader/node
cat "$(cat reader/node)" > reader/bytes &
READER=$!
"$PROGRAM" update --yes --device "$(cat reader/node)" > reader/out 2> reader/err &
echo $! > reader/pid
for name in whole sigterm pulled; do update_on $name; done
SIGNALS="kernel-unit-server --signals-at-default"
update_on sigint
SIGNALS=""
sleep 15
mkdir -p second
program update --yes --device "$(cat whole/node)" > second/out 2> second/err; echo $? > second/exit
kill -TERM "$(cat sigterm/pid)"
kill -INT "$(cat sigint/pid)"
unit_unplug "$(cat pulled/server)"
for name in whole reader sigterm sigint pulled; do finish $name; done
kill $READER
# update --wait with no unit, the unit plugged in after 3 s.
mkdir -p wait
unit_start --bench unplugged --transcript /results/wait/transcript
(sleep 3; unit_plug) &
program update --yes --wait > wait/out 2> wait/err; echo $? > wait/exit
unit_stop
"""

USB_JOB = "USB=--usb\n" + STATUS_JOB + UPDATE_JOB + r"""
update_on whole
finish whole
update_on pulled
sleep 15
unit_unplug
finish pulled
"""


def session(job):
    build = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(OPTIONS.program))))
    work = tempfile.mkdtemp(prefix="kernel-unit-test-")
    with open(os.path.join(work, "job.sh"), "w") as script:
        script.write(job)
    results = os.path.join(work, "results")
    done = subprocess.run([os.path.join(ROOT, "tools", "kernel-unit"), "session", "--build", build,
                           "--timeout", "300", "--results", results,
                           os.path.join(work, "job.sh")], capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"the guest failed ({done.returncode}): {done.stderr}")
    return results


def read(folder, name):
    with open(os.path.join(folder, name), "rb") as data:
        return data.read().decode(errors="replace")


def transcript(folder):
    """(ms, OUT or IN, bytes) of each report in a scenario's transcript."""
    lines = []
    for line in read(folder, "transcript").splitlines():
        ms, direction, *data = line.split()
        lines.append((int(ms), direction, bytes(int(byte, 16) for byte in data)))
    return lines


class Scenarios:
    """The checks that both ways of presenting the unit share."""
    JOB = None

    @classmethod
    def setUpClass(cls):
        cls.results = session(cls.JOB)
        with open(OPTIONS.image, "rb") as image:
            cls.image = image.read()
        cls.blocks = (len(cls.image) + BLOCK - 1) // BLOCK

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(os.path.dirname(cls.results), ignore_errors=True)

    def folder(self, name):
        return os.path.join(self.results, name)

    def exit_code(self, name):
        return int(read(self.folder(name), "exit"))

    def test_status_in_each_state(self):
        for bench, exit_code, first_row in STATUS_CASES:
            with self.subTest(bench=bench):
                folder = self.folder("status-" + bench)
                out = read(folder, "out")
                self.assertEqual(self.exit_code("status-" + bench), exit_code, out)
                self.assertTrue(out.startswith(first_row), out[:200])
                self.assertEqual(int(read(folder, "json-exit")), exit_code)
                units = json.loads(read(folder, "json"))
                if bench == "unplugged":
                    self.assertEqual(units, [])
                    continue
                self.assertEqual(units[0]["path"], read(folder, "node").strip())
                self.assertEqual(units[0]["productId"], 1 if bench == "linkwave" else 2)
                if exit_code == 0:
                    self.assertEqual(units[0]["state"], "ready")

    def assert_whole_update(self, name):
        """The transcript holds exactly an update's commands, every block of the image, every
        wait, each request answered."""
        out = read(self.folder(name), "out") + read(self.folder(name), "err")
        self.assertEqual(self.exit_code(name), 0, out[-2000:])
        lines = transcript(self.folder(name))
        self.assertEqual([d for _, d, _ in lines], ["OUT", "IN"] * (len(lines) // 2))
        self.assertTrue(all(len(data) == 60 for _, _, data in lines))
        requests = [(ms, data) for ms, d, data in lines if d == "OUT"]
        replies = [(ms, data) for ms, d, data in lines if d == "IN"]
        self.assertTrue(all(data[0] == 1 for _, data in requests))
        self.assertTrue(all(data[0] == 2 and data[1] != 0xFF for _, data in replies))
        commands = [data[1] for _, data in requests]
        self.assertEqual(commands, [0x08, 0x1D, 0x22] * 2 + [0x0B, 0x20, 0x1E, 0x1F] +
                         [0x1B] * self.blocks + [0x20, 0x0B])
        erase = commands.index(0x1E)
        self.assertGreaterEqual(requests[erase + 1][0] - requests[erase][0], 5020,
                                "the erase's reply after 1000 ms, 4000 + 20 before the address")
        blocks = [i for i, command in enumerate(commands) if command == 0x1B]
        self.assertTrue(all(requests[i + 1][0] - requests[i][0] >= 20 for i in blocks),
                        "20 ms after every block")
        sent = b"".join(requests[i][1][4:4 + BLOCK] for i in blocks)
        self.assertEqual(hashlib.sha256(sent[:len(self.image)]).digest(),
                         hashlib.sha256(self.image).digest(), "every block of the image")
        return lines

    def test_a_whole_update(self):
        self.assert_whole_update("whole")

    def test_the_unit_pulled_out_among_the_blocks(self):
        out = read(self.folder("pulled"), "out") + read(self.folder("pulled"), "err")
        self.assertEqual(self.exit_code("pulled"), 1, out[-2000:])
        self.assertRegex(out, r"0x[0-9A-Fa-f]{8}", "the block step's error code line")
        commands = [data[1] for _, d, data in transcript(self.folder("pulled")) if d == "OUT"]
        self.assertLess(commands.count(0x1B), self.blocks)
        self.assertNotIn(0x20, commands[commands.index(0x1B):], "nothing after the blocks")


class KernelUnituhid(Scenarios, unittest.TestCase):
    JOB = UHID_JOB

    def test_as_a_user_without_a_rule(self):
        out = read(self.folder("user"), "out") + read(self.folder("user"), "err")
        self.assertEqual(self.exit_code("user"), 5, out)
        self.assertIn(read(self.folder("user"), "node").strip(), out)

    def test_a_second_copy_is_refused_and_sends_nothing(self):
        out = read(self.folder("second"), "out") + read(self.folder("second"), "err")
        self.assertEqual(self.exit_code("second"), 5, out)
        self.assertIn("in use", out)
        # The unit's transcript holds the first copy's update alone.
        self.assert_whole_update("whole")

    def test_another_program_reading_the_node_throughout(self):
        lines = self.assert_whole_update("reader")
        replies = b"".join(data for _, d, data in lines if d == "IN")
        with open(os.path.join(self.folder("reader"), "bytes"), "rb") as read_elsewhere:
            self.assertEqual(read_elsewhere.read(), replies, "the other program read each reply")

    def test_sigterm_and_sigint_among_the_blocks(self):
        for name in ("sigterm", "sigint"):
            with self.subTest(signal=name):
                self.assert_whole_update(name)
                self.assertIn("Firmware update in progress, please wait...",
                              read(self.folder(name), "err"), "the signal held, and said so")

    def test_update_waits_for_the_unit_plugged_in_later(self):
        self.assert_whole_update("wait")


class KernelUnitusb(Scenarios, unittest.TestCase):
    JOB = USB_JOB


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--image", required=True)
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
