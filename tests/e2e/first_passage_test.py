#!/usr/bin/env python3
"""gen -U, solve and simulate on tests/models/one_repairman.toml: the
reached and first-passage variables against the 2-out-of-3 system's closed
forms, and against the transient probability of its chain with the failed
states absorbing, built here and exponentiated by scaling and squaring.

    GEN_MODELS_DIR=build/models SOLVE_BINARY=build/solve \\
        python3 tests/e2e/first_passage_test.py      (CTest sets both)
"""

import csv
import os
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MODEL = os.path.join(os.environ.get("GEN_MODELS_DIR", os.path.join(ROOT, "build", "models")), "one_repairman")
SOLVE = os.environ.get("SOLVE_BINARY", os.path.join(ROOT, "build", "solve"))
EXPERIMENTS = [(0.5, 2.0), (0.001, 1.0)]  # (l, m) of the model file's experiments


def closed_forms(l, m):
    """From 3 up, until 2 are down: T3 = 1/(3l) + T2, T2 = 1/(2l+m) + m/(2l+m) T3
    for the time; the repairs and the units' up time likewise."""
    mttf = (5 * l + m) / (6 * l * l)
    repairs = m / (2 * l)  # R3 = R2 = m/(2l+m) (1 + R2)
    three_up = (1 + repairs) / (3 * l)  # a visit to 3 up at the start and after each repair
    up_time = 3 * three_up + 2 * (mttf - three_up)
    return {"mttf": mttf, "repairs_before_failure": repairs, "up_time_before_failure": up_time}


def absorbed_by(l, m, t):
    """P(2 down by t): exp(Qt) from 3 up, on (3 up, 2 up, failed) with failed absorbing."""
    q = [[-3 * l, 3 * l, 0.0], [m, -(2 * l + m), 2 * l], [0.0, 0.0, 0.0]]
    squarings = 20
    a = [[x * t / 2 ** squarings for x in row] for row in q]
    e = [[float(i == j) for j in range(3)] for i in range(3)]
    term = [row[:] for row in e]
    for k in range(1, 18):
        term = [[sum(term[i][p] * a[p][j] for p in range(3)) / k for j in range(3)] for i in range(3)]
        e = [[e[i][j] + term[i][j] for j in range(3)] for i in range(3)]
    for _ in range(squarings):
        e = [[sum(e[i][p] * e[p][j] for p in range(3)) for j in range(3)] for i in range(3)]
    return e[0][2]


def rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


class FirstPassageTest(unittest.TestCase):
    def test_solve_gives_the_closed_forms(self):
        for experiment, (l, m) in enumerate(EXPERIMENTS):
            with self.subTest(l=l), tempfile.TemporaryDirectory() as tmp:
                for command in ([os.path.join(MODEL, "gen"), f"-P{tmp}/", "-Nfp", f"-B{experiment}", "-U"],
                                [SOLVE, f"-P{tmp}/", "-Nfp"]):
                    run = subprocess.run(command, capture_output=True, text=True)
                    self.assertEqual(run.returncode, 0, run.stderr)
                got = rows(os.path.join(tmp, "fp.results.csv"))
                values = {r["variable"]: float(r["value"]) for r in got if r["kind"] == "first_passage"}
                for name, want in closed_forms(l, m).items():
                    self.assertAlmostEqual(values[name], want, delta=1e-9 * want, msg=name)
                reached = [r for r in got if r["kind"] == "reached"]
                self.assertEqual([float(r["stop"]) for r in reached], [0.5, 2.0])
                for r in reached:
                    want = absorbed_by(l, m, float(r["stop"]))
                    self.assertAlmostEqual(float(r["value"]), want, delta=1e-9 * want, msg=r["stop"])
                # A condition no reachable state meets: said, not a number.
                self.assertEqual(values["never"], float("inf"))
                self.assertIn("never: infinite", run.stderr)
                self.assertNotIn("never:until", run.stdout)

    @unittest.skipUnless(os.path.exists(os.path.join(MODEL, "simulate")), "simulate is not built (no pcg-cpp)")
    def test_simulate_covers_the_exact_values_and_reports_the_cap(self):
        l, m = EXPERIMENTS[0]
        with tempfile.TemporaryDirectory() as tmp:
            run = subprocess.run([os.path.join(MODEL, "simulate"), f"-P{tmp}/", "-Nfp", "-B0", "-S3", "-R4000",
                                  "-k4000", "-c0.99", "-Vmttf", "-Vfailed_by", "-Vnever"],
                                 capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            got = {(r["variable"], r["stop"]): r for r in rows(os.path.join(tmp, "fp.sim.csv"))}
        want = {("mttf", "1000"): closed_forms(l, m)["mttf"],
                ("failed_by", "0.5"): absorbed_by(l, m, 0.5), ("failed_by", "2"): absorbed_by(l, m, 2.0)}
        for key, value in want.items():
            r = got[key]
            self.assertLessEqual(float(r["lower"]), value, msg=key)
            self.assertGreaterEqual(float(r["upper"]), value, msg=key)
            self.assertNotEqual(r["precision"], "capped", msg=key)
        self.assertEqual(got[("failed_by", "2")]["interval"], "wilson")
        # Every path waits the whole cap for "never": the estimate is the cap
        # itself, flagged, not a mean time.
        self.assertEqual(got[("never", "10")]["precision"], "capped")
        self.assertIn("never: 4000 of 4000 replications reached the cap", run.stdout)


if __name__ == "__main__":
    unittest.main()
