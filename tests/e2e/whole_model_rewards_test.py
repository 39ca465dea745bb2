#!/usr/bin/env python3
"""gen -U and solve end to end on tests/models/rep_threshold.toml: rewards
that see the composed model as a whole (count, sum) and impulses on one case
of an activity, against the binomial law of N independent processors, each
up with probability p = mu / (lambda + mu).

    GEN_MODELS_DIR=build/models SOLVE_BINARY=build/solve \\
        python3 tests/e2e/whole_model_rewards_test.py      (CTest sets both)
"""

import csv
import os
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
GEN = os.path.join(os.environ.get("GEN_MODELS_DIR", os.path.join(ROOT, "build", "models")), "rep_threshold", "gen")
SOLVE = os.environ.get("SOLVE_BINARY", os.path.join(ROOT, "build", "solve"))
# (N, lambda, mu) of the model file's experiments; the cases of a failure
# have weights 0.25 and 0.75.
EXPERIMENTS = [(3, 1.0, 2.0), (5, 0.5, 0.75)]


class WholeModelRewardsTest(unittest.TestCase):
    def test_values_follow_the_binomial_law(self):
        for experiment, (n, lam, mu) in enumerate(EXPERIMENTS):
            with self.subTest(n=n), tempfile.TemporaryDirectory() as tmp:
                for command in ([GEN, f"-P{tmp}/", "-Nrt", f"-B{experiment}", "-U"], [SOLVE, f"-P{tmp}/", "-Nrt"]):
                    run = subprocess.run(command, capture_output=True, text=True)
                    self.assertEqual(run.returncode, 0, run.stderr)
                with open(os.path.join(tmp, "rt.results.csv"), newline="") as f:
                    values = {row["variable"]: float(row["value"]) for row in csv.DictReader(f)}
                p = mu / (lam + mu)
                # Each processor up fails at rate lambda, in case 2 with
                # probability 0.75: the expected number of such failures per
                # unit time is N p lambda 0.75.
                expected = {"at_least_two_up": 1 - (1 - p) ** n - n * p * (1 - p) ** (n - 1),
                            "up_mean": p,
                            "first_case_failures": n * p * lam * 0.25,
                            "second_case_failures": n * p * lam * 0.75}
                for name, value in expected.items():
                    self.assertAlmostEqual(values[name], value, delta=1e-9 * value, msg=name)


if __name__ == "__main__":
    unittest.main()
