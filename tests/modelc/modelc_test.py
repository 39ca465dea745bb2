#!/usr/bin/env python3
"""Tests of the model compiler (tools/modelc): the rejection of bad model
files (message with file, line and field; exit status 1; nothing written),
#line directives that point C++ errors at the model file, and Model/ being
the compiler's output for models/redundant_controller_flash.toml.

    python3 tests/modelc/modelc_test.py [-v]      (CTest runs it from the build)
"""

import concurrent.futures
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MODELC = os.path.join(ROOT, "tools", "modelc")
CXX = os.environ.get("CXX", "c++")

# A small valid model; each error case below changes one thing in it.
GOOD = """\
name = "small"

[globals]
N = "short"
rate = "double"

[experiments]
one = { N = 1, rate = 0.5 }
two = { N = 2, rate = 0.25 }

[[atomic]]
name = "cell"

[atomic.places]
idle = "N"
busy = 0
shared_token = 1

[[atomic.activity]]
name = "start"
kind = "exponential"
rate = "rate"
enabled = "idle > 0"
effect = "idle--; busy++;"

[[atomic.activity]]
name = "finish"
kind = "exponential"
rate = "1.0"
enabled = "busy > 0"
effect = "busy--; idle++;"

[[rep]]
name = "cells"
child = "cell"
count = "N"
shared = ["shared_token"]

[[reward]]
name = "busy_cells"
times = [1.0]
rate = "cell.busy"
"""


def replaced(old, new, text=GOOD):
    assert old in text, old
    return text.replace(old, new, 1)


def line_of(text, needle):
    for number, line in enumerate(text.splitlines(), start=1):
        if needle in line:
            return number
    raise AssertionError(needle)


class CompilerTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="modelc_test")
        self.addCleanup(shutil.rmtree, self.dir)
        self.out = os.path.join(self.dir, "out")

    def compile(self, text, name="model.toml", out=None):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write(text)
        run = subprocess.run([sys.executable, MODELC, path, out or self.out], capture_output=True, text=True)
        return path, run

    def snapshot(self):
        files = {}
        for name in os.listdir(self.out):
            with open(os.path.join(self.out, name)) as f:
                files[name] = f.read()
        return files

    def expect_error(self, text, line, field, words):
        """The compile fails with "FILE:LINE: FIELD: ..." naming `words`, and
        the output folder of an earlier good compile is left as it was."""
        _, good = self.compile(GOOD)
        self.assertEqual(good.returncode, 0, good.stderr)
        before = self.snapshot()
        path, run = self.compile(text)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stdout, "")
        message = run.stderr.strip()
        self.assertTrue(message.startswith(f"{path}:{line}:"), message)
        if field:
            self.assertIn(f": {field}:", message)
        for word in words:
            self.assertIn(word, message)
        after = self.snapshot()
        self.assertEqual(before, after)

    def test_good_model_writes_its_units_and_a_manifest(self):
        _, run = self.compile(GOOD)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(os.path.join(self.out, "manifest.txt")) as f:
            lines = f.read().split()
        self.assertEqual(lines[0], "small")
        self.assertEqual(sorted(lines[1:] + ["manifest.txt"]), sorted(os.listdir(self.out)))
        self.assertIn("small_modelRJ.cpp", lines)
        self.assertIn("cellSAN.cpp", lines)

    def test_a_unit_that_cannot_be_written_leaves_no_temporary_and_the_old_manifest(self):
        _, run = self.compile(GOOD)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(os.path.join(self.out, "manifest.txt")) as f:
            manifest = f.read()
        text = replaced("busy = 0", "busy = 0\nwaiting = 0")
        # A directory where a changed unit goes stops its rename.
        os.unlink(os.path.join(self.out, "cellSAN.cpp"))
        os.mkdir(os.path.join(self.out, "cellSAN.cpp"))
        path, run = self.compile(text)
        self.assertEqual(run.returncode, 1)
        self.assertIn(f"{path}: cannot write the generated units into {self.out}", run.stderr)
        self.assertNotIn("Traceback", run.stderr)
        self.assertEqual([n for n in os.listdir(self.out) if n.startswith(".modelc-")], [])
        with open(os.path.join(self.out, "manifest.txt")) as f:
            self.assertEqual(f.read(), manifest)

    def test_weight_on_a_timed_activity_warns_and_compiles(self):
        text = replaced('rate = "1.0"', 'rate = "1.0"\nweight = 2')
        path, run = self.compile(text)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stderr, f"{path}:{line_of(text, 'weight = 2')}: 'weight' of activity 'finish' of atomic model 'cell': warning: "
                         "the weight of exponential activity 'finish' is ignored: only cases and instantaneous "
                         "activities that compete are chosen by weight\n")

    def test_toml_syntax_error(self):
        text = replaced('busy = 0', 'busy = = 0')
        self.expect_error(text, line_of(text, "busy = = 0"), None, ["TOML syntax error"])

    def test_missing_required_field(self):
        text = replaced('kind = "exponential"\nrate = "1.0"', 'rate = "1.0"')
        second = [n for n, line in enumerate(text.splitlines(), 1) if line == "[[atomic.activity]]"][1]
        self.expect_error(text, second, "activity 'finish' of atomic model 'cell'",
                          ["missing required field 'kind'"])

    def test_duplicate_names(self):
        text = replaced('name = "finish"', 'name = "start"')
        second = [n for n, line in enumerate(text.splitlines(), 1) if line == 'name = "start"'][1]
        self.expect_error(text, second, "'name' of activity 'start' of atomic model 'cell'", ["duplicate name 'start'"])
        text = replaced('busy = 0', 'busy = 0\nN = 3')
        self.expect_error(text, line_of(text, "N = 3"), "place 'N' of atomic model 'cell'", ["duplicate name 'N'", "global"])

    def test_unknown_distribution(self):
        text = replaced('kind = "exponential"\nrate = "1.0"', 'kind = "weibull"\nrate = "1.0"')
        self.expect_error(text, line_of(text, "weibull"), "'kind' of activity 'finish' of atomic model 'cell'",
                          ["unknown distribution 'weibull'"])

    def test_shared_place_that_a_child_lacks(self):
        text = replaced('shared = ["shared_token"]', 'shared = ["token"]')
        self.expect_error(text, line_of(text, 'shared = ["token"]'), "'shared' of rep 'cells'",
                          ["'token'", "'cell' has no place"])

    def test_rep_count_neither_integer_nor_integer_global(self):
        for count in ('"rate"', "2.5", '"M"'):
            text = replaced('count = "N"', f"count = {count}")
            self.expect_error(text, line_of(text, "count ="), "'count' of rep 'cells'",
                              ["neither an integer nor an integer global"])

    def test_experiment_missing_a_variable(self):
        text = replaced("two = { N = 2, rate = 0.25 }", "two = { N = 2 }")
        self.expect_error(text, line_of(text, "two = "), "experiment 'two'",
                          ["experiment 'two' gives no value to global variable 'rate'"])

    def test_reward_naming_unknown_submodel_or_activity(self):
        text = replaced('rate = "cell.busy"', 'rate = "celll.busy"')
        self.expect_error(text, line_of(text, "celll"), "'rate' of reward 'busy_cells'", ["unknown submodel 'celll'"])
        text = GOOD + '\n[[reward]]\nname = "starts"\ntimes = [1.0]\n\n[[reward.impulse]]\nactivity = "cell.begin"\nvalue = "1"\n'
        self.expect_error(text, line_of(text, "cell.begin"), "'activity' of impulse 1 of reward 'starts'",
                          ["unknown activity 'begin'"])

    def test_counts_sums_and_cases_refused_when_malformed(self):
        impulse = GOOD + '\n[[reward]]\nname = "f"\ntimes = [1.0]\n\n[[reward.impulse]]\nactivity = "cell.finish"\n'
        bad = [
            (replaced('rate = "cell.busy"', 'rate = "count(cells: busy > 0)"'), "count(", "unknown submodel 'cells'"),
            (replaced('rate = "cell.busy"', 'rate = "sum(cell: )"'), "sum(", "is empty"),
            (replaced('rate = "cell.busy"', 'rate = "count(cell: sum(cell: busy) > 1)"'), "count(", "do not nest"),
            (replaced('rate = "cell.busy"', 'rate = "count(cell: busy) + idle"'), "count(", "names no place"),
            (impulse + 'case = 1\nvalue = "1"\n', "case = 1", "has no cases"),
            (impulse + 'value = "count(cell: busy > 0)"\n', "value = ", "belong in a rate reward"),
        ]
        for text, at, words in bad:
            with self.subTest(words):
                self.expect_error(text, line_of(text, at), None, [words])

    def test_reward_kinds_refused_when_malformed(self):
        kinds = [
            ('kind = "sometimes"\ntimes = [1.0]', "kind", "kind", "unknown reward kind 'sometimes'"),
            ('kind = "steady_state"\ntimes = [1.0]', "times", "times", "kind 'steady_state' has no 'times'"),
            ('kind = "interval"\ntimes = [1.0]', "times", "times", "it takes 'intervals'"),
            ('kind = "interval"', "kind", None, "missing required field 'intervals'"),
            ('intervals = [[0, 1]]', "intervals", "intervals", "kind 'instant' has no 'intervals'"),
            ('kind = "interval"\nintervals = [[0, 1, 2]]', "intervals", "intervals", "[start, stop] pairs"),
            ('kind = "interval"\nintervals = [[-1, 1]]', "intervals", "intervals", "numbers from 0 on"),
            ('kind = "interval"\nintervals = [[2, 1]]', "intervals", "intervals", "ends before it starts"),
            ('kind = "time_averaged"\nintervals = [[1, 1]]', "intervals", "intervals", "needs stop > start"),
            ('kind = "time_averaged"\nintervals = [[0, inf]]', "intervals", "intervals", "numbers from 0 on"),
            ('kind = "until"', "kind", "kind", "unknown reward kind 'until'"),
            ('kind = "reached"\ntimes = [1.0]', "kind", None, "missing required field 'until'"),
            ('kind = "reached"\ntimes = [1.0]\nuntil = "cell.busy > 0"', "rate", "rate", "takes no 'rate'"),
            ('times = [1.0]\nuntil = "cell.busy > 0"', "until", "until", "kind 'instant' has no 'until'"),
            ('kind = "first_passage"\nuntil = "cell.busy > 0"\ncap = 0', "cap", "cap", "above 0"),
        ]
        for lines, at, field, words in kinds:
            with self.subTest(lines):
                text = replaced("times = [1.0]", lines)
                reward = line_of(text, "[[reward]]")
                line = reward + line_of(text.split("[[reward]]", 1)[1], at + " =") - 1 if field else reward
                self.expect_error(text, line, (f"'{field}' of " if field else "") + "reward 'busy_cells'", [words])

    def test_text_that_would_break_the_generated_code_is_refused_at_its_line(self):
        bad = [
            ('rate = "1.0"', 'rate = ""', "it is empty"),
            ('enabled = "busy > 0"', 'enabled = " \\n "', "it is empty"),
            ('effect = "busy--; idle++;"', 'effect = "busy--;\\n#define idle busy\\nidle++;"', "directive"),
            ('effect = "busy--; idle++;"', 'effect = """busy--;\n  #line 1 "x"\nidle++;"""', "directive"),
            ('rate = "cell.busy"', 'rate = "cell.busy %:"', "directive"),
            ('effect = "busy--; idle++;"', 'effect = "busy--; // \\\\\\nidle++;"', "backslash"),
            ('rate = "1.0"', 'rate = "1.0 \\\\"', "backslash"),
            ('effect = "busy--; idle++;"', 'effect = "busy--; idle++; \\""', "never closed"),
            ('effect = "busy--; idle++;"', 'effect = "busy--; /* idle++;"', "never closed"),
            ('effect = "busy--; idle++;"', 'effect = "busy--; }{ idle++;"', "closes nothing"),
            ("two = { N = 2", '"tw\\"o\\n" = { N = 2', "control characters"),
        ]
        for old, new, words in bad:
            with self.subTest(new):
                text = replaced(old, new)
                self.expect_error(text, line_of(text, new.split("\n")[0]), None, [words])

    def test_experiment_names_that_are_no_plain_folder_name_are_refused_at_their_line(self):
        # They become folders of the make targets and labels in plot scripts.
        for name in ('"../two"', '"t\\"); system(\\"id\\"); (\\""', '"two words"', '".two"', '"-two"'):
            with self.subTest(name):
                text = replaced("two = { N = 2", name + " = { N = 2")
                self.expect_error(text, line_of(text, name), None, ["must be one word", "no blanks, quotes, slashes"])
        _, run = self.compile(replaced("two = { N = 2", '"N=2.5e+1_b-c" = { N = 2'))
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_integer_division_in_a_rate_weight_delay_or_reward_is_refused_with_the_fix(self):
        for old, new in (('rate = "1.0"', 'rate = "1/60"'), ('rate = "cell.busy"', 'rate = "cell.busy + 1 / 2"')):
            text = replaced(old, new)
            self.expect_error(text, line_of(text, new), None, ["divides two integers", "write 1.0/"])
        # A product before the literal makes it no division of literals alone.
        _, run = self.compile(replaced('rate = "1.0"', 'rate = "1.0 * 3 / 4"'))
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_names_and_keywords_in_messages(self):
        text = replaced('name = "start"', 'name = "switch"')
        self.expect_error(text, line_of(text, '"switch"'), "'name' of activity 'switch' of atomic model 'cell'",
                          ["'switch' cannot be used: it is a C++ keyword"])
        text = replaced('rate = "cell.busy"', 'rate = "cells.busy"')
        self.expect_error(text, line_of(text, "cells.busy"), None, ["unknown submodel 'cells'", "(submodels: cell)"])

    def test_bounds_checked_where_the_compiler_can(self):
        text = replaced("busy = 0", "busy = { init = 5, min = 0, max = 3 }")
        self.expect_error(text, line_of(text, "busy ="), "place 'busy' of atomic model 'cell'",
                          ["initial marking 5", "outside its bounds"])
        text = replaced("busy = 0", "busy = { init = 0, mni = 0 }")
        self.expect_error(text, line_of(text, "busy ="), None, ["unknown field 'mni'"])

    def test_constants_formulas_bounds_and_bare_places_compile(self):
        text = replaced("[[atomic]]", """[constants]
speed = "rate * 2"
half = "speed / 2"

[formulas]
total = "idle + busy"
load = "busy / double(total)"
spare = "N - busy"

[[atomic]]""")
        text = replaced('idle = "N"', 'idle = { init = "N", min = 0, max = "N" }', text)
        # A formula over a global, in a single-atomic model too.
        text = replaced('rate = "1.0"', 'rate = "half + speed * load + spare"', text)
        _, run = self.compile(replaced("[[rep]]", "[[ignored]]", text).split("[[ignored]]")[0]
                              + '[[reward]]\nname = "busy_cells"\ntimes = [1.0]\nrate = "cell.busy"\n')
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.syntax_errors("cellSAN.cpp"), "")
        text = replaced('rate = "cell.busy"', 'rate = "load + busy"', text)
        _, run = self.compile(text)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.syntax_errors("cellSAN.cpp"), "")
        self.assertEqual(self.syntax_errors("small_rewardPVNodes.cpp"), "")
        text = replaced("[[atomic]]", '[formulas]\nearly = "late + 1"\nlate = "idle"\n\n[[atomic]]')
        self.expect_error(text, line_of(text, "early ="), "formula 'early'", ["uses 'late', which is not defined before it"])

    def syntax_errors(self, unit):
        includes = [os.path.join(ROOT, d) for d in ("Cpp/BaseClasses", "Cpp/BaseClasses/state", "Cpp/Composer")]
        cxx = subprocess.run([CXX, "-std=c++20", "-fsyntax-only", "-Wall", "-Wextra",
                              *[f"-I{d}" for d in includes], f"-I{self.out}", os.path.join(self.out, unit)],
                             capture_output=True, text=True)
        return cxx.stderr

    def test_cpp_errors_name_the_model_file_and_line(self):
        text = replaced('rate = "1.0"', 'rate = "1.0 +* idle"')
        path, run = self.compile(text)
        self.assertEqual(run.returncode, 0, run.stderr)
        includes = [os.path.join(ROOT, d) for d in ("Cpp/BaseClasses", "Cpp/BaseClasses/state", "Cpp/Composer")]
        cxx = subprocess.run([CXX, "-std=c++20", "-fsyntax-only", *[f"-I{d}" for d in includes], f"-I{self.out}",
                              os.path.join(self.out, "cellSAN.cpp")], capture_output=True, text=True)
        self.assertNotEqual(cxx.returncode, 0)
        self.assertIn(f"{path}:{line_of(text, '+* idle')}:", cxx.stderr)


INCLUDES = [os.path.join(ROOT, d) for d in ("Cpp/BaseClasses", "Cpp/BaseClasses/state", "Cpp/Composer")]


def compile_units(model, out):
    run = subprocess.run([sys.executable, MODELC, model, out], capture_output=True, text=True)
    if run.returncode != 0:
        raise AssertionError(run.stderr)
    return sorted(os.path.join(out, n) for n in os.listdir(out) if n.endswith(".cpp"))


class GeneratedCodeTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="modelc_code")
        self.addCleanup(shutil.rmtree, self.dir)

    def test_units_of_every_library_model_compile_without_warnings(self):
        models = [os.path.join(ROOT, "models", n) for n in sorted(os.listdir(os.path.join(ROOT, "models")))]
        models += [os.path.join(ROOT, "tests", "models", n) for n in ("clashing_names.toml", "rep_threshold.toml")]
        jobs = []
        for model in models:
            out = os.path.join(self.dir, os.path.basename(model))
            for unit in compile_units(model, out):
                jobs.append([CXX, "-std=c++20", "-fsyntax-only", "-Wall", "-Wextra", "-Wconversion", "-Werror",
                             *[f"-I{d}" for d in INCLUDES], f"-I{out}", unit])
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            for job, run in zip(jobs, pool.map(lambda j: subprocess.run(j, capture_output=True, text=True), jobs)):
                self.assertEqual(run.returncode, 0, f"{job[-1]}:\n{run.stderr}")

    def test_every_macro_the_units_see_is_a_refused_name(self):
        # A model name that is a macro would be replaced in the generated code.
        sys.path.insert(0, os.path.join(ROOT, "tools"))
        from modelc.names import reserved_reason  # noqa: E402

        model = os.path.join(self.dir, "good.toml")
        with open(model, "w") as f:
            f.write(GOOD)
        out = os.path.join(self.dir, "units")
        macros = set()
        for unit in compile_units(model, out):
            run = subprocess.run([CXX, "-std=c++20", "-dM", "-E", *[f"-I{d}" for d in INCLUDES], f"-I{out}", unit],
                                 capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            macros |= {line.split()[1].split("(")[0] for line in run.stdout.splitlines() if line.startswith("#define")}
        allowed = [m for m in sorted(macros) if not reserved_reason(m)]
        self.assertEqual(allowed, [], "add these to tools/modelc/reserved_names.txt")


class MalformedCorpusTest(unittest.TestCase):
    """tests/modelc/malformed/*.toml: each file's first line, "# expect: LINE:
    FIELD: MESSAGE", is exactly what the compiler must print after the file's
    name, with exit status 1 and the output folder of an earlier compile
    left as it was."""

    def test_each_file_gives_its_message(self):
        folder = os.path.join(ROOT, "tests", "modelc", "malformed")
        files = sorted(f for f in os.listdir(folder) if f.endswith(".toml"))
        self.assertGreater(len(files), 30)
        out = tempfile.mkdtemp(prefix="modelc_malformed")
        self.addCleanup(shutil.rmtree, out)
        good = os.path.join(out, "good.toml")
        with open(good, "w") as f:
            f.write(GOOD)
        units = os.path.join(out, "units")
        run = subprocess.run([sys.executable, MODELC, good, units], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        before = {n: open(os.path.join(units, n)).read() for n in os.listdir(units)}
        for name in files:
            with self.subTest(name):
                path = os.path.join(folder, name)
                with open(path) as f:
                    expected = f.readline().removeprefix("# expect: ").rstrip("\n")
                run = subprocess.run([sys.executable, MODELC, path, units], capture_output=True, text=True)
                self.assertEqual(run.returncode, 1, run.stderr)
                self.assertEqual(run.stdout, "")
                self.assertEqual(run.stderr, f"{path}:{expected}\n")
                after = {n: open(os.path.join(units, n)).read() for n in os.listdir(units)}
                self.assertEqual(before, after)


class CompiledInModelTest(unittest.TestCase):
    def test_model_folder_holds_the_units_generated_from_the_model_file(self):
        # Regenerate Model/ with `make model-units` when this fails.
        out = tempfile.mkdtemp(prefix="modelc_model")
        self.addCleanup(shutil.rmtree, out)
        source = "models/redundant_controller_flash.toml"
        run = subprocess.run([sys.executable, MODELC, source, out, "--source-name", source, "--line-dir", "Model"],
                             cwd=ROOT, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        generated = sorted(os.listdir(out))
        self.assertEqual(generated, sorted(os.listdir(os.path.join(ROOT, "Model"))))
        match, mismatch, errors = filecmp.cmpfiles(out, os.path.join(ROOT, "Model"), generated, shallow=False)
        self.assertEqual(mismatch + errors, [], "Model/ is not what the compiler makes of " + source)


if __name__ == "__main__":
    unittest.main()
