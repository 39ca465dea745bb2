#!/usr/bin/env python3
"""Keeps tests/data/published_values.json in step with the model files it
describes: every experiment it lists is that model file's experiment with the
same size, and every value names a reward variable of the model file with the
same kind and time. The solver's checks read the file and trust both.

    python3 tests/library/published_values_test.py [-v]      (CTest runs it)
"""

import json
import os
import tomllib
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VALUES = os.path.join(ROOT, "tests", "data", "published_values.json")
METHODS = {"exact", "sound", "second-way", "PRISM", "transient", "iterative"}


def reward_times(reward):
    """A reward's kind and time as the values file writes them."""
    kind = reward.get("kind", "instant")
    if kind == "steady_state":
        return kind, None
    if kind == "instant":
        return kind, [float(t) for t in reward["times"]]
    return kind, [[float(a), float(b)] for a, b in reward["intervals"]]


class PublishedValues(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(VALUES) as f:
            cls.doc = json.load(f)

    def model(self, entry):
        with open(os.path.join(ROOT, entry["file"]), "rb") as f:
            return tomllib.load(f)

    def test_experiments_are_the_model_files_sizes(self):
        for stem, entry in self.doc["models"].items():
            with self.subTest(model=stem):
                experiments = list(self.model(entry)["experiments"].values())
                param = entry["parameter"]
                self.assertEqual([e["experiment"] for e in entry["experiments"]], list(range(len(experiments))))
                for e in entry["experiments"]:
                    self.assertEqual(experiments[e["experiment"]][param], e[param], e)

    def test_values_name_reward_variables_of_their_kind_and_time(self):
        for stem, entry in self.doc["models"].items():
            rewards = {r["name"]: reward_times(r) for r in self.model(entry).get("reward", [])}
            count = len(entry["experiments"])
            for v in entry["values"]:
                with self.subTest(model=stem, value=v):
                    self.assertIn(v["variable"], rewards)
                    kind, times = rewards[v["variable"]]
                    self.assertEqual(v["kind"], kind)
                    if times is None:
                        self.assertNotIn("time", v)
                    else:
                        self.assertIn(v["time"], times)
                    self.assertIn(v["experiment"], range(count))
                    self.assertIn(v["method"], METHODS)
                    self.assertIsInstance(v["value"], float)
                    # A value without a known tolerance is one that carries its solver's error.
                    self.assertEqual(v["tolerance"] is None, v["solver_error"])


if __name__ == "__main__":
    unittest.main()
