#!/usr/bin/env python3
"""The parameter study (tools/study.py), the run script behind `make run`
and `make solve` (tools/run-gen.sh), the glue that simulates what solve
leaves (tools/answer.py) and the make targets' driver (tools/make-target.py),
end to end with the library's cluster and timeout_retry programs and the
solver. CTest sets GEN_MODELS_DIR and SOLVE_BINARY."""

import csv
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MODELS_DIR = os.environ.get("GEN_MODELS_DIR", os.path.join(ROOT, "build", "models"))
SOLVE = os.environ.get("SOLVE_BINARY", os.path.join(ROOT, "build", "solve"))
STUDY = os.path.join(ROOT, "tools", "study.py")
RUN_GEN = os.path.join(ROOT, "tools", "run-gen.sh")
CLUSTER = os.path.join(ROOT, "models", "cluster.toml")
CLUSTER_GEN = os.path.join(MODELS_DIR, "cluster", "gen")
RETRY = os.path.join(ROOT, "models", "timeout_retry.toml")
RETRY_GEN = os.path.join(MODELS_DIR, "timeout_retry", "gen")
RETRY_SIMULATE = os.path.join(MODELS_DIR, "timeout_retry", "simulate")
DUPLEX = os.path.join(ROOT, "tests", "models", "duplex.toml")
DUPLEX_GEN = os.path.join(MODELS_DIR, "duplex", "gen")
DUPLEX_SIMULATE = os.path.join(MODELS_DIR, "duplex", "simulate")
# Stands in for a solve that leaves variables for the simulator.
PARTIAL_SOLVE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "partial_solve.py")
# Few short replications: the tests check the plumbing, not the estimates.
QUICK_SIM = "-R4 -k2 -W100 -L2000"


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
            # Every row is the solver's own row of that run; the interval's
            # columns and the failure are empty on exact rows.
            extra = ("half_width", "lower", "upper", "level", "replications", "precision", "failure")
            self.assertEqual([dict((k, r[k]) for k in r if k not in ("run", "experiment", "N") + extra)
                              for r in table if r["run"] == "N2"], rows(os.path.join(out, "N2", "cluster.results.csv")))
            self.assertEqual({r[k] for r in table for k in extra}, {""})
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


    def test_sweep_values_the_global_cannot_hold_are_refused_before_any_run(self):
        with tempfile.TemporaryDirectory() as out:
            # The type's range, then the model's own bound on what N sets.
            for sweep, words in (("N=1,40000", "40000 does not fit a short"), ("N=-40000,1", "does not fit a short"),
                                 ("N=2,-1", "-1 must be at least 0 here: place cluster.left_n")):
                refused = run(sys.executable, STUDY, "run", "--model", CLUSTER, "--gen", CLUSTER_GEN, "--solve", SOLVE,
                              "--name", "cluster", "--out", os.path.join(out, "s"), "--sweep", sweep)
                self.assertEqual(refused.returncode, 1)
                self.assertIn(words, refused.stderr)
                self.assertEqual(os.listdir(out), [])

    def test_a_failed_run_is_a_row_and_the_folder_holds_the_last_study_alone(self):
        with tempfile.TemporaryDirectory() as out:
            # solve refuses experiment N2's run only.
            failing = os.path.join(out, "failing_solve")
            with open(failing, "w") as stream:
                stream.write(f'#!/bin/sh\ncase "$1" in *N2*) echo "refused here" >&2; exit 1;; esac\nexec {SOLVE} "$@"\n')
            os.chmod(failing, 0o755)
            study_dir = os.path.join(out, "cluster-study")
            first = run(sys.executable, STUDY, "run", "--model", CLUSTER, "--gen", CLUSTER_GEN, "--solve", SOLVE,
                        "--name", "cluster", "--out", study_dir, "--experiments", "N4")
            self.assertEqual(first.returncode, 0, first.stderr)
            second = run(sys.executable, STUDY, "run", "--model", CLUSTER, "--gen", CLUSTER_GEN, "--solve", failing,
                         "--name", "cluster", "--out", study_dir, "--experiments=N1,N2", "--solve-args=-Voperational")
            self.assertEqual(second.returncode, 1)
            self.assertIn("study: 2/2 N2 (experiment 1): failed: solve failed (status 1): refused here\nstudy: 2 runs",
                          second.stderr)
            table = rows(os.path.join(study_dir, "cluster.study.csv"))
            self.assertEqual([(r["run"], r["value"] != "", r["failure"]) for r in table],
                             [("N1", True, ""), ("N2", False, "solve failed (status 1): refused here")])
            self.assertEqual(sorted(os.listdir(study_dir)), ["N1", "N2", "cluster.study.csv"])
            self.assertEqual(sorted(os.listdir(out)), ["cluster-study", "failing_solve"])
            self.assertEqual(os.stat(os.path.join(study_dir, "cluster.study.csv")).st_mode & 0o777,
                             0o666 & ~current_umask())

    @unittest.skipUnless(os.path.exists(RETRY_SIMULATE), "simulate is not built (no pcg-cpp)")
    def test_what_solve_leaves_is_simulated_with_the_override_and_drawn_with_error_bars(self):
        with tempfile.TemporaryDirectory() as out:
            environment = dict(os.environ, REAL_SOLVE=SOLVE, PARTIAL_EXACT="waiting", PARTIAL_LEFT="give_ups")
            study = subprocess.run([sys.executable, STUDY, "run", "--model", RETRY, "--gen", RETRY_GEN, "--solve",
                                    PARTIAL_SOLVE, "--simulate", RETRY_SIMULATE, "--name", "timeout_retry", "--out",
                                    out + "/s", "--experiments", "tight", "--sweep", "timeout=0.5,2",
                                    "--sim-args", QUICK_SIM], env=environment, capture_output=True, text=True)
            self.assertEqual(study.returncode, 0, study.stderr)
            table = rows(os.path.join(out, "s", "timeout_retry.study.csv"))
            self.assertEqual([(r["timeout"], r["variable"], r["method"]) for r in table],
                             [("0.5", "waiting", "regenerative"), ("0.5", "give_ups", "simulation"),
                              ("2", "waiting", "regenerative"), ("2", "give_ups", "simulation")])
            for r in table:
                self.assertNotEqual(r["value"], "")
                self.assertEqual(r["half_width"] != "", r["method"] == "simulation")
            # The simulator ran with the swept timeout: give-ups are about
            # 0.066 per unit of time at 0.5 and 7e-5 at 2 (solve's values).
            give_ups = {r["timeout"]: float(r["value"]) for r in table if r["variable"] == "give_ups"}
            self.assertGreater(give_ups["0.5"], 0.03)
            self.assertLess(give_ups["2"], 0.01)
            with open(os.path.join(out, "s", "timeout_retry.give_ups.svg")) as stream:
                self.assertIn("give_ups", stream.read())


class Plots(unittest.TestCase):
    def setUp(self):
        if shutil.which("gnuplot") is None:
            self.skipTest("gnuplot is not installed")
        spec = importlib.util.spec_from_file_location("study", STUDY)
        self.study = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(self.study)

    def rows(self, runs, values):
        return [{"run": run, "variable": "availability", "kind": "steady_state", "start": "", "stop": "",
                 "value": value, "half_width": ""} for run, value in zip(runs, values)]

    def test_labels_are_text_to_gnuplot_and_ticks_tell_close_values_apart(self):
        with tempfile.TemporaryDirectory() as out:
            hostile = ["a'); system('touch ran'); ('", 'b"); system("touch ran"); ("']
            values = ["0.99983101", "0.99983902"]
            written = self.study.plot(out, "m", self.rows(hostile, values), None, hostile, [])
            self.assertEqual(len(written), 1)
            self.assertFalse(os.path.exists(os.path.join(out, "ran")))
            self.assertFalse(os.path.exists("ran"))
            with open(written[0]) as stream:
                ticks = re.findall(r">\s*(0\.9998[0-9]*)\s*</tspan>", stream.read())
            self.assertGreater(len(ticks), 2)
            self.assertEqual(len(ticks), len(set(ticks)), ticks)
            # 1 - value: the unavailability, read from the decimal text.
            written = self.study.plot(out, "m", self.rows(["a", "b"], values), None, ["a", "b"], ["complement"])
            with open(written[0]) as stream:
                self.assertIn("1 - availability", stream.read())

    def test_a_geometric_sweep_gets_a_log_x(self):
        self.assertTrue(self.study.is_geometric([250, 500, 1000, 2000, 4000, 8000]))
        self.assertFalse(self.study.is_geometric([1, 2, 3, 4, 5, 6, 7, 8, 9]))
        self.assertFalse(self.study.is_geometric([1, 2]))


@unittest.skipUnless(os.path.exists(DUPLEX_SIMULATE), "simulate is not built (no pcg-cpp)")
class TwoTimers(unittest.TestCase):
    """The duplex controller: its watchdog and overhaul run together, so solve
    leaves its variables to the simulator (status 3)."""

    def test_a_study_gives_every_variable_of_every_run_with_its_interval(self):
        with tempfile.TemporaryDirectory() as out:
            study = run(sys.executable, STUDY, "run", "--model", DUPLEX, "--gen", DUPLEX_GEN, "--solve", SOLVE,
                        "--simulate", DUPLEX_SIMULATE, "--name", "duplex", "--out", out + "/s",
                        "--sim-args", QUICK_SIM)
            self.assertEqual(study.returncode, 0, study.stderr)
            table = rows(os.path.join(out, "s", "duplex.study.csv"))
            self.assertEqual([(r["run"], r["variable"], r["start"]) for r in table],
                             [(run_, variable, start) for run_ in ("base", "slow_watchdog")
                              for variable, start in (("unavailability", "5"), ("unavailability", "20"),
                                                      ("long_run_unavailability", ""))])
            for r in table:
                self.assertEqual(r["failure"], "")
                self.assertTrue(0 <= float(r["value"]) <= 1, r)
                self.assertEqual(r["half_width"] != "", r["method"] == "simulation")
            self.assertEqual({r["method"] for r in table if r["variable"] == "unavailability"}, {"simulation"})
            with open(os.path.join(out, "s", "duplex.unavailability.svg")) as stream:
                self.assertIn("timeout", stream.read())

    def test_make_solves_run_script_prints_one_table_and_ends_with_status_0(self):
        with tempfile.TemporaryDirectory() as out:
            solved = run(RUN_GEN, "--simulate", DUPLEX_SIMULATE, QUICK_SIM, "--solve", SOLVE, "", out, DUPLEX_GEN,
                         "duplex", DUPLEX, "slow_watchdog", "-U")
            self.assertEqual(solved.returncode, 0, solved.stderr)
            self.assertIn("solve: unavailability: ", solved.stderr)
            table = solved.stdout.split("Exact values and simulation intervals:\n", 1)[1]
            self.assertEqual([line.split()[0] for line in table.splitlines()[1:4]],
                             ["unavailability", "unavailability", "long_run_unavailability"])
            answers = rows(os.path.join(out, "duplex-experiment1", "duplex.answers.csv"))
            self.assertEqual([r["method"] for r in answers][:2], ["simulation", "simulation"])
            self.assertNotIn("", [r["value"] for r in answers])


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


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
