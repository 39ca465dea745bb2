#!/usr/bin/env python3
"""The parameter study (tools/study.py) and the run script behind `make run`
and `make solve` (tools/run-gen.sh), end to end with the library's cluster
gen and the solver. CTest sets GEN_MODELS_DIR and SOLVE_BINARY."""

import csv
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODELS_DIR = os.environ.get("GEN_MODELS_DIR", os.path.join(ROOT, "build", "models"))
SOLVE = os.environ.get("SOLVE_BINARY", os.path.join(ROOT, "build", "solve"))
STUDY = os.path.join(ROOT, "tools", "study.py")
RUN_GEN = os.path.join(ROOT, "tools", "run-gen.sh")
CLUSTER = os.path.join(ROOT, "models", "cluster.toml")
CLUSTER_GEN = os.path.join(MODELS_DIR, "cluster", "gen")


def run(*command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def rows(path):
    with open(path, newline="") as stream:
        return list(csv.DictReader(stream))


class Study(unittest.TestCase):
    def test_experiments_by_number_range_and_name(self):
        self.assertEqual(run(sys.executable, STUDY, "index", CLUSTER, "N4").stdout, "2\n")
        refused = run(sys.executable, STUDY, "index", CLUSTER, "10")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("experiments 0 to 9", refused.stderr)

    def test_table_and_sweep_agree_with_single_runs(self):
        with tempfile.TemporaryDirectory() as out:
            study = run(sys.executable, STUDY, "run", "--model", CLUSTER, "--gen", CLUSTER_GEN, "--solve", SOLVE,
                        "--name", "cluster", "--out", out, "--experiments", "0-1")
            self.assertEqual(study.returncode, 0, study.stderr)
            self.assertIn("2/2 N2 (experiment 1)", study.stderr)
            table = rows(os.path.join(out, "cluster.study.csv"))
            self.assertEqual({(r["run"], r["N"]) for r in table}, {("N1", "1"), ("N2", "2")})
            # Every row is the solver's own row of that run.
            self.assertEqual([dict((k, r[k]) for k in r if k not in ("run", "experiment", "N"))
                              for r in table if r["run"] == "N2"], rows(os.path.join(out, "N2", "cluster.results.csv")))
            self.assertTrue(os.path.getsize(os.path.join(out, "cluster.operational.svg")) > 0)

            # N = 2 swept into experiment 0 is experiment 1.
            sweep_out = os.path.join(out, "sweep")
            swept = run(sys.executable, STUDY, "run", "--model", CLUSTER, "--gen", CLUSTER_GEN, "--solve", SOLVE,
                        "--name", "cluster", "--out", sweep_out, "--experiments", "N1", "--sweep", "N=1:2")
            self.assertEqual(swept.returncode, 0, swept.stderr)
            by_run = {}
            for r in rows(os.path.join(sweep_out, "cluster.study.csv")):
                by_run.setdefault(r["N"], []).append((r["variable"], r["start"], r["value"]))
            self.assertEqual(by_run["2"], [(r["variable"], r["start"], r["value"]) for r in table if r["N"] == "2"])

    def test_bad_sweep_is_refused_before_any_run(self):
        with tempfile.TemporaryDirectory() as out:
            refused = run(sys.executable, STUDY, "run", "--model", CLUSTER, "--gen", CLUSTER_GEN, "--solve", SOLVE,
                          "--name", "cluster", "--out", os.path.join(out, "s"), "--sweep", "N=1.5")
            self.assertEqual(refused.returncode, 1)
            self.assertIn("not a whole number", refused.stderr)
            self.assertFalse(os.path.exists(os.path.join(out, "s")))


class RunGen(unittest.TestCase):
    def test_experiment_out_of_range_leaves_no_folder_and_names_work(self):
        with tempfile.TemporaryDirectory() as out:
            refused = run(RUN_GEN, out, CLUSTER_GEN, "cluster", CLUSTER, "10")
            self.assertEqual(refused.returncode, 1)
            self.assertEqual(os.listdir(out), [])
            named = run(RUN_GEN, "--solve", SOLVE, "", out, CLUSTER_GEN, "cluster", CLUSTER, "N2", "-U")
            self.assertEqual(named.returncode, 0, named.stderr)
            self.assertTrue(os.path.isfile(os.path.join(out, "cluster-experiment1", "cluster.results.csv")))


if __name__ == "__main__":
    unittest.main()
