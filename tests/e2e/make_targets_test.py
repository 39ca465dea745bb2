#!/usr/bin/env python3
"""`make solve` and `make study` as a user types them, in a build folder of
the test's own whose stamp (tools/make-target.py) names the library's
cluster gen and the solver, so that no configure or build runs: make
variables nobody's shell reads, and the stamp that skips CMake. CTest sets
GEN_MODELS_DIR and SOLVE_BINARY."""

import importlib.util
import os
import shutil
import subprocess
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MODELS_DIR = os.environ.get("GEN_MODELS_DIR", os.path.join(ROOT, "build", "models"))
SOLVE = os.environ.get("SOLVE_BINARY", os.path.join(ROOT, "build", "solve"))
CLUSTER = os.path.join(ROOT, "models", "cluster.toml")
CLUSTER_GEN = os.path.join(MODELS_DIR, "cluster", "gen")

_spec = importlib.util.spec_from_file_location("make_target", os.path.join(ROOT, "tools", "make-target.py"))
make_target = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(make_target)


class MakeTargets(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="make_targets_test")
        self.addCleanup(shutil.rmtree, self.dir)
        self.build = os.path.join(self.dir, "build")
        self.out = os.path.join(self.dir, "out")

    def stamp(self, target, model, outputs=(CLUSTER_GEN, SOLVE)):
        """A stamp as a build that just finished writes it."""
        now = time.time() + 1
        make_target.write_stamp(make_target.stamp_path(self.build, target, model), {
            "version": make_target.STAMP_VERSION, "model": model, "started": now, "finished": now,
            "name": "cluster", "gen": CLUSTER_GEN, "solve": SOLVE, "simulate": None, "outputs": list(outputs)})

    def make(self, target, **variables):
        command = ["make", "--no-print-directory", "-C", ROOT, target, f"BUILD_DIR={self.build}", f"OUT={self.out}"]
        command += [f"{name}={value}" for name, value in variables.items()]
        # As typed at a prompt: nothing of a make that runs the tests.
        environment = {k: v for k, v in os.environ.items() if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL")}
        return subprocess.run(command, cwd=self.dir, capture_output=True, text=True, env=environment)

    def test_an_unchanged_model_skips_cmake_and_a_dash_word_is_one_argument(self):
        self.stamp("solve", CLUSTER)
        solved = self.make("solve", MODEL=CLUSTER, EXPERIMENT="N2", SOLVE_ARGS="-Voperational")
        self.assertEqual(solved.returncode, 0, solved.stderr)
        self.assertNotIn("cmake", solved.stdout)
        with open(os.path.join(self.out, "cluster-experiment1", "cluster.results.csv")) as stream:
            self.assertEqual([line.split(",")[0] for line in stream.read().splitlines()], ["variable", "operational"])
        # make study builds what make solve does, and uses its stamp.
        study = self.make("study", MODEL=CLUSTER, EXPERIMENTS="N1", SOLVE_ARGS="-Voperational")
        self.assertEqual(study.returncode, 0, study.stderr)
        # A model file written after the build, or a program built again
        # since (another model file of the same stem): the stamp no longer
        # holds.
        model, program = os.path.join(self.dir, "model.toml"), os.path.join(self.dir, "gen")
        shutil.copy(CLUSTER, model)
        shutil.copy(CLUSTER_GEN, program)
        self.stamp("solve", model, outputs=[program])
        stamp_file = make_target.stamp_path(self.build, "solve", model)
        self.assertIsNotNone(make_target.fresh_stamp(stamp_file, model))
        later = time.time() + 5
        os.utime(program, (later, later))
        self.assertIsNone(make_target.fresh_stamp(stamp_file, model))
        self.stamp("solve", model, outputs=[program])
        os.utime(model, (later + 5, later + 5))
        self.assertIsNone(make_target.fresh_stamp(stamp_file, model))
        os.remove(model)
        os.remove(program)

    def test_hostile_values_and_names_run_nothing_and_write_nothing_outside_out(self):
        hostile = os.path.join(self.dir, "hostile.toml")
        with open(CLUSTER) as stream:
            text = stream.read()
        with open(hostile, "w") as stream:
            stream.write(text.replace("N1 = {", '"../../escaped" = {', 1)
                         .replace("N2 = {", "\"N'); system('touch gnuplot_ran'); ('\" = {", 1))
        self.stamp("solve", CLUSTER)
        self.stamp("solve", hostile)
        marker = os.path.join(self.dir, "ran")
        runs = [
            ("study", {"MODEL": CLUSTER, "EXPERIMENTS": "N1'; touch ran; echo '"}),
            ("study", {"MODEL": CLUSTER, "SWEEP": "N=1$(touch ran)"}),
            ("study", {"MODEL": CLUSTER, "SWEEP": "N=1`touch ran`,2"}),
            ("study", {"MODEL": hostile}),
            ("solve", {"MODEL": CLUSTER, "EXPERIMENT": "0' `touch ran` '"}),
            ("solve", {"MODEL": os.path.join(self.dir, "x`touch ran`.toml")}),
            ("solve", {"MODEL": CLUSTER, "SOLVE_ARGS": "-V *"}),
            ("solve", {"MODEL": CLUSTER, "SOLVE_ARGS": "$(touch ran)"}),
            # gen reads "1;touch" as N's value, skips it as no short and runs.
            ("solve", {"MODEL": CLUSTER, "ARGS": "-O s:N:1;touch ran"}),
        ]
        for target, variables in runs:
            with self.subTest(variables):
                result = self.make(target, **variables)
                if "ARGS" not in variables:
                    self.assertNotEqual(result.returncode, 0, result.stdout)
                self.assertFalse(os.path.exists(marker), result.stderr)
        # solve was handed the word as it was written.
        self.assertIn("*", self.make("solve", MODEL=CLUSTER, SOLVE_ARGS="-V *").stderr)
        self.assertEqual(sorted(os.listdir(self.dir)), ["build", "hostile.toml", "out"])
        self.assertFalse(os.path.exists(os.path.join(os.path.dirname(self.dir), "escaped")))
        for folder, _dirs, files in os.walk(self.out):
            self.assertNotIn("gnuplot_ran", files)


if __name__ == "__main__":
    unittest.main()
