#!/usr/bin/env python3
"""The progress line of a long run: shown on standard error when that is a
terminal (a pseudo-terminal here), rewritten in place and cleared at the end;
standard output stays what it is without a terminal, and without a terminal
standard error gets nothing but the line naming the experiment.

    GEN_BINARY=build/gen python3 tests/e2e/progress_test.py   (CTest sets it)
"""

import os
import pty
import re
import shutil
import subprocess
import tempfile
import unittest

GEN = os.environ.get("GEN_BINARY", "gen")
# Experiment 3 (1,572,861 states) runs for a few seconds: past the second
# after which the line appears.
ARGS = ["-Nrun", "-B3"]


def without_timing(text):
    return re.sub(r"Computation Time \(user \+ system\): .*\n", "", text)


class ProgressLineTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="progress_test")
        self.addCleanup(shutil.rmtree, self.dir)

    def run_gen(self, stderr_on_terminal):
        out_path = os.path.join(self.dir, "stdout.txt")
        with open(out_path, "w") as out:
            if not stderr_on_terminal:
                run = subprocess.run([GEN, f"-P{self.dir}/", *ARGS], stdout=out, stderr=subprocess.PIPE)
                err, status = run.stderr, run.returncode
            else:
                master, slave = pty.openpty()
                child = subprocess.Popen([GEN, f"-P{self.dir}/", *ARGS], stdout=out, stderr=slave)
                os.close(slave)
                err = b""
                while True:
                    try:
                        chunk = os.read(master, 65536)
                    except OSError:  # the terminal is gone with the child
                        break
                    if not chunk:
                        break
                    err += chunk
                os.close(master)
                status = child.wait()
        with open(out_path) as f:
            return status, f.read(), err.decode()

    def test_line_on_a_terminal_only_and_standard_output_unchanged(self):
        status, plain_out, plain_err = self.run_gen(False)
        self.assertEqual(status, 0)
        # The compiled-in model's gen names no experiment there.
        self.assertEqual(plain_err, "")
        status, out, err = self.run_gen(True)
        self.assertEqual(status, 0)
        self.assertEqual(without_timing(out), without_timing(plain_out))
        updates = err.split("\r\x1b[K")
        self.assertEqual(updates[0], "")
        self.assertEqual(updates[-1], "", "the line is cleared at the end")
        shown = [u for u in updates if u]
        self.assertTrue(shown, repr(err))
        for line in shown:
            self.assertRegex(line, r"^\d+ states, \d+ states/s, \d+\.\d MB, \d+\.\d s$")


if __name__ == "__main__":
    unittest.main()
