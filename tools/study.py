#!/usr/bin/env python3
"""Parameter studies over a model file's experiments, and experiment look-up.

    study.py index MODEL.toml EXPERIMENT
        prints the number of EXPERIMENT (a number or an experiment's name);
        exit status 1 with a message when the model has no such experiment.

    study.py run --model MODEL.toml --gen GEN --solve SOLVE [--simulate SIMULATE]
                 --name NAME --out DIR [--experiments SPEC] [--sweep GLOBAL=VALUES]
                 [--solve-args ARGS] [--sim-args ARGS] [--plot WORDS]
        runs gen -U and solve for every chosen experiment (SPEC: "all", a list
        "0,2,5", ranges "0-4", names, or a mix) and, with --sweep, every value
        of one global variable in each of them (VALUES: "1,2,4" or
        "first:last" or "first:step:last", as integers or reals; each checked
        before any run against the global's type and what the model file
        asks of it: place bounds, 16-bit markings, counts from 0). What solve leaves for the
        simulator is simulated (tools/answer.py). Each run writes its files
        into DIR/<run>/; DIR/<NAME>.study.csv gets one row per run and value:
        the run, the experiment's name, every global's value, the solver's
        columns, the interval's half-width, ends, level, replications and
        precision where the value is an estimate, and for a run that failed
        one row whose `failure` says why. DIR/<NAME>.<variable>.svg plots each variable
        against the global that varies (one line per time point, intervals
        as error bars). WORDS (blanks or commas between): logx, logy, linx
        (no log scale on x even for a geometric sweep), complement (1 - value,
        for probabilities near 1). Progress goes to standard error. Exit
        status 0 when every run gave every variable, 1 otherwise (the table
        and plots are written all the same).

Standard library only: the model file is read with tomllib. The study is
built in a new folder beside DIR and renamed into place when it is done, so
DIR holds one whole study, the last, and nothing of the ones before it.
Files get the modes gen's files get (0644 under the usual umask).
"""

import csv
import io
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import tomllib
from decimal import Decimal, InvalidOperation

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from answer import COLUMNS, AnswerError, answer, split_words  # noqa: E402

# The -O override letters of the global variables' C++ types.
TYPE_LETTERS = {"bool": "b", "char": "c", "short": "s", "int": "i", "long": "l", "float": "f", "double": "d"}
INTEGER_TYPES = {"bool", "char", "short", "int", "long"}
# The values gen's -O takes for each type (Cpp/BaseClasses/BaseStudyClass.cpp).
INTEGER_RANGES = {"bool": (0, 1), "short": (-2 ** 15, 2 ** 15 - 1), "int": (-2 ** 31, 2 ** 31 - 1),
                  "long": (-2 ** 63, 2 ** 63 - 1)}
REAL_LIMITS = {"float": Decimal("3.4028234663852886e38"), "double": Decimal("1.7976931348623157e308")}
# What the model compiler lets an experiment be called: the name is a
# folder's name here.
EXPERIMENT_NAME = re.compile(r"[A-Za-z0-9_][A-Za-z0-9_.+=-]*")
PLOT_WORDS = ("logx", "logy", "linx", "complement")


class StudyError(Exception):
    pass


def load_model(path):
    try:
        with open(path, "rb") as stream:
            data = tomllib.load(stream)
    except OSError as error:
        raise StudyError(f"cannot read model file {path}: {error.strerror}") from None
    except tomllib.TOMLDecodeError as error:
        raise StudyError(f"{path}: {error}") from None
    globals_ = data.get("globals", {})
    experiments = data.get("experiments", {})
    if not isinstance(globals_, dict) or not isinstance(experiments, dict):
        raise StudyError(f"{path}: [globals] and [experiments] must be tables")
    # A model without globals has one experiment, with no values.
    names = list(experiments) or ["experiment0"]
    for name in names:
        if not EXPERIMENT_NAME.fullmatch(name):
            raise StudyError(f"{path}: experiment name {name!r} is no plain word (python3 tools/modelc --check "
                             "says which names work)")
    values = [experiments.get(name, {}) for name in names]
    return {"name": data.get("name", ""), "globals": globals_, "experiments": names, "values": values, "data": data}


def model_limits(model, name):
    """What the model file itself demands of global `name`'s value, as
    (low, high, why) triples: the bounds of the places and arrays it gives
    the initial marking of (gen stops at the start of a run outside them),
    the 16 bits of a marking, and a rep or join's count or copies that
    cannot be negative."""
    limits = []
    data = model["data"]
    for atomic in data.get("atomic", []) if isinstance(data.get("atomic"), list) else []:
        for section in ("places", "arrays"):
            table = atomic.get(section, {}) if isinstance(atomic, dict) else {}
            for place, spec in table.items() if isinstance(table, dict) else []:
                where = f"place {atomic.get('name')}.{place}"
                if spec == name or (isinstance(spec, dict) and spec.get("init") == name):
                    limits.append((-2 ** 15, 2 ** 15 - 1, f"{where} takes it as its initial marking (16 bits)"))
                    if isinstance(spec, dict):
                        low, high = spec.get("min"), spec.get("max")
                        limits.append((low if isinstance(low, int) else None, high if isinstance(high, int) else None,
                                       f"{where} takes it as its initial marking, within its bounds"))
                if isinstance(spec, dict) and spec.get("size") == name:
                    limits.append((0, None, f"array {atomic.get('name')}.{place} takes it as its size"))
    for kind in ("rep", "join"):
        for node in data.get(kind, []) if isinstance(data.get(kind), list) else []:
            counts = [node.get("count")] + [c.get("copies") for c in node.get("children", []) if isinstance(c, dict)]
            if name in counts:
                limits.append((0, 2 ** 31 - 1, f"{kind} {node.get('name')} takes it as a count of copies"))
    return limits


def experiment_index(model, text):
    names = model["experiments"]
    text = text.strip()
    if re.fullmatch(r"[0-9]+", text):
        index = int(text)
        if index < len(names):
            return index
        raise StudyError(f"no experiment {index}: the model has experiments 0 to {len(names) - 1}")
    if text in names:
        return names.index(text)
    raise StudyError(f"no experiment named '{text}' (the model's experiments: {', '.join(names)})")


def experiment_list(model, spec):
    """The experiment numbers that SPEC names, in its order, without repeats."""
    count = len(model["experiments"])
    if spec.strip() in ("", "all"):
        return list(range(count))
    chosen = []
    for part in spec.replace(" ", ",").split(","):
        if not part:
            continue
        bounds = re.fullmatch(r"([0-9]+)-([0-9]+)", part)
        if bounds:
            first, last = int(bounds[1]), int(bounds[2])
            if first > last:
                raise StudyError(f"the range {part} is empty (write it from low to high)")
            if last >= count:
                raise StudyError(f"no experiment {last}: the model has experiments 0 to {count - 1}")
            indices = range(first, last + 1)
        else:
            indices = [experiment_index(model, part)]
        chosen.extend(i for i in indices if i not in chosen)
    if not chosen:
        raise StudyError(f"EXPERIMENTS='{spec}' names no experiment")
    return chosen


def _number(text, integer, what):
    text = text.strip()
    try:
        value = Decimal(text)
    except InvalidOperation:
        raise StudyError(f"{what}: '{text}' is not a number") from None
    if not value.is_finite():
        raise StudyError(f"{what}: '{text}' is not a finite number")
    if integer and value != value.to_integral_value():
        raise StudyError(f"{what}: '{text}' is not a whole number")
    return value


def _check_fits(value, gtype, what):
    """Refuses a value gen would skip (it runs the experiment's own value
    then) or that the type cannot hold."""
    if gtype in INTEGER_RANGES:
        low, high = INTEGER_RANGES[gtype]
        if not low <= value <= high:
            kind = "0 (false) or 1 (true)" if gtype == "bool" else f"from {low} to {high}"
            raise StudyError(f"{what}: {value} does not fit a {gtype} (it takes {kind})")
    elif abs(value) > REAL_LIMITS[gtype]:
        raise StudyError(f"{what}: {value} does not fit a {gtype} (at most {REAL_LIMITS[gtype]:.8e} in magnitude)")


def sweep_values(model, spec):
    """(global, type, [value texts]) from GLOBAL=VALUES."""
    name, sep, values = spec.partition("=")
    name = name.strip()
    if not sep or not name or not values.strip():
        raise StudyError(f"SWEEP='{spec}': write a global and its values, such as N=1:6 or N=1,2,4")
    if name not in model["globals"]:
        known = ", ".join(model["globals"]) or "none"
        raise StudyError(f"SWEEP names '{name}', which is no global variable (the model's: {known})")
    gtype = model["globals"][name]
    integer = gtype in INTEGER_TYPES
    what = f"SWEEP {name}"
    if gtype == "char":
        raise StudyError(f"{what}: a char global cannot be swept (gen's -O takes a char as one character)")
    if gtype not in TYPE_LETTERS:
        raise StudyError(f"{what}: '{name}' has the type '{gtype}', which gen's -O does not take")
    if gtype == "bool":
        values = ",".join({"true": "1", "false": "0"}.get(v.strip(), v) for v in values.split(","))
    if ":" in values:
        parts = values.split(":")
        if len(parts) not in (2, 3):
            raise StudyError(f"{what}: a range is first:last or first:step:last")
        first = _number(parts[0], integer, what)
        last = _number(parts[-1], integer, what)
        step = _number(parts[1], integer, what) if len(parts) == 3 else Decimal(1)
        if step <= 0 or first > last:
            raise StudyError(f"{what}: a range needs first <= last and a step above 0")
        if (last - first) / step > 10000:
            raise StudyError(f"{what}: more than 10,000 values")
        numbers, value = [], first
        while value <= last:
            numbers.append(value)
            value += step
    else:
        numbers = [_number(v.strip(), integer, what) for v in values.split(",") if v.strip()]
    if not numbers:
        raise StudyError(f"{what}: no values")
    for value in numbers:
        _check_fits(value, gtype, what)
        for low, high, why in model_limits(model, name):
            if (low is not None and value < low) or (high is not None and value > high):
                bounds = (f"from {low} to {high}" if low is not None and high is not None
                          else f"at least {low}" if low is not None else f"at most {high}")
                raise StudyError(f"{what}: {value} must be {bounds} here: {why}")
    texts = [str(int(v)) if integer else str(v) for v in numbers]
    return name, gtype, texts


def file_mode(mode):
    mask = os.umask(0)
    os.umask(mask)
    return mode & ~mask


def write_atomically(path, data):
    folder = os.path.dirname(path) or "."
    fd, temporary = tempfile.mkstemp(prefix=".study-", suffix=".tmp", dir=folder)
    try:
        os.fchmod(fd, file_mode(0o666))
        with os.fdopen(fd, "wb") as stream:
            stream.write(data)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


class RunFailed(Exception):
    pass


def first_lines(text, count=3):
    lines = [line for line in text.strip().splitlines() if line.strip()]
    return " / ".join(lines[:count]) + (" / ..." if len(lines) > count else "")


def run_one(args, run_dir, name, experiment, override, solve_args, sim_args):
    """The rows of one run (answer.COLUMNS); RunFailed says why there are none."""
    os.makedirs(run_dir, exist_ok=True)
    prefix = run_dir + os.sep
    command = [args.gen, "-P" + prefix, "-N" + name, f"-B{experiment}", "-U"]
    if override:
        command.append("-O" + override)
    gen = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if gen.returncode != 0:
        raise RunFailed(f"gen failed (status {gen.returncode}): {first_lines(gen.stdout + gen.stderr)}")
    # gen reports an override it skipped and runs on: the row would be the
    # experiment's own value under the swept one's name.
    skipped = [line for line in gen.stderr.splitlines() if "overrideGVs" in line or "OverrideGVValue" in line]
    if skipped:
        raise RunFailed(f"gen did not take the override {override}: {first_lines(chr(10).join(skipped))}")
    try:
        rows, _ = answer(args.solve, args.simulate, run_dir, name, experiment, override, solve_args, sim_args,
                         capture=True)
    except AnswerError as error:
        raise RunFailed(first_lines(str(error))) from None
    return rows


def gnuplot_string(text):
    """A gnuplot single-quoted string: read literally, '' for a quote; line
    breaks dropped. Nothing in it is run or expanded."""
    return "'" + str(text).replace("\n", " ").replace("\r", " ").replace("'", "''") + "'"


def y_ticks(values):
    """The gnuplot lines for the y axis's ticks: a step of 1, 2 or 5 times a
    power of ten giving about five ticks over the values, and labels with
    as many decimals as the step has, so that neighbouring labels differ
    (0.999832, 0.999834, ... where the default shows 0.99983 five times).
    Past a million or below a millionth, %g with enough significant digits."""
    finite = [v for v in values if math.isfinite(v)]
    if not finite or max(finite) == min(finite):
        return ""
    low, high = min(finite), max(finite)
    rough = (high - low) / 5
    power = math.floor(math.log10(rough))
    step = next(m * 10.0 ** power for m in (1, 2, 5, 10) if m * 10.0 ** power >= rough)
    magnitude = max(abs(low), abs(high))
    if 1e-6 <= magnitude < 1e6:
        decimals = max(0, -math.floor(math.log10(step) + 1e-9))
        label = f"%.{decimals}f"
    else:
        digits = max(3, min(15, math.ceil(math.log10(magnitude / step)) + 2))
        label = f"%.{digits}g"
    return f"set ytics {step!r}\nset format y {gnuplot_string(label)}\n"


def is_geometric(xs):
    """Three or more positive values, each the one before times the same
    factor, spanning at least a factor of 8."""
    xs = sorted(set(xs))
    if len(xs) < 3 or xs[0] <= 0:
        return False
    ratios = [b / a for a, b in zip(xs, xs[1:])]
    return xs[-1] / xs[0] >= 8 and all(abs(r / ratios[0] - 1) < 1e-6 for r in ratios)


def plot(out, name, rows, varying, labels, options, by_experiment=False):
    """One plot per variable against the varying global (or the run); with
    by_experiment, one line per experiment and time point (a sweep over
    several experiments)."""
    try:
        subprocess.run(["gnuplot", "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    except (OSError, subprocess.CalledProcessError):
        print("study: gnuplot is not installed: no plots", file=sys.stderr)
        return []
    complement = "complement" in options
    written = []
    variables = list(dict.fromkeys(row["variable"] for row in rows if row["value"] != ""))
    for variable in variables:
        series = {}
        for row in rows:
            if row["variable"] != variable or row["value"] == "":
                continue
            point = row["kind"] if row["start"] == "" else (
                f"t = {row['start']}" if row["start"] == row["stop"] else f"[{row['start']}, {row['stop']}]")
            if by_experiment:
                point = f"{row['experiment']}: {point}"
            x = Decimal(row[varying]) if varying else Decimal(labels.index(row["run"]))
            y = Decimal(row["value"])
            # The interval's ends, or estimate +/- half-width where they are
            # not given; the estimate alone for an exact value.
            width = Decimal(row.get("half_width") or 0)
            low = Decimal(row["lower"]) if row.get("lower") else y - width
            high = Decimal(row["upper"]) if row.get("upper") else y + width
            if complement:
                # 1 - value from the decimal text: no digits lost near 1.
                y, low, high = 1 - y, 1 - high, 1 - low
            series.setdefault(point, []).append((x, y, low, high))
        if all(len(points) < 2 for points in series.values()):
            continue
        xs = [float(p[0]) for points in series.values() for p in points]
        ys = [float(v) for points in series.values() for p in points for v in p[1:]]
        intervals = any(p[2] != p[3] for points in series.values() for p in points)
        ylabel = f"1 - {variable}" if complement else variable
        logx = varying and "linx" not in options and ("logx" in options or is_geometric(xs))
        script = io.StringIO()
        script.write("set terminal svg size 800,500 dynamic\nset output\n")
        script.write(f"set title {gnuplot_string(ylabel)} noenhanced\nset key outside noenhanced\nset grid\n")
        script.write(f"set xlabel {gnuplot_string(varying or 'run')} noenhanced\n"
                     f"set ylabel {gnuplot_string(ylabel)} noenhanced\n")
        if logx:
            script.write("set logscale x\n")
        # Points and bars clear of the frame.
        script.write("set offsets graph 0.04, graph 0.04, graph 0.06, graph 0.06\n")
        if "logy" in options:
            script.write("set logscale y\nset format y '%g'\n")
        else:
            script.write(y_ticks(ys))
        if not varying:
            tics = ", ".join(f"{gnuplot_string(label)} {i}" for i, label in enumerate(labels))
            script.write(f"set xtics ({tics}) rotate by -30 noenhanced\n")
        style = "using 1:2:3:4 with yerrorlines" if intervals else "using 1:2 with linespoints"
        script.write("plot " + ", ".join(f"'-' {style} title {gnuplot_string(title)}" for title in series) + "\n")
        for points in series.values():
            for x, y, low, high in sorted(points):
                script.write(f"{x} {y} {low} {high}\n" if intervals else f"{x} {y}\n")
            script.write("e\n")
        # gnuplot writes to its standard output; the file is ours to name.
        result = subprocess.run(["gnuplot"], input=script.getvalue().encode(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        if result.returncode != 0 or not result.stdout:
            raise StudyError(f"gnuplot failed on {variable}: {result.stderr.decode(errors='replace').strip()}")
        path = os.path.join(out, f"{name}.{variable}.svg")
        write_atomically(path, result.stdout)
        written.append(path)
    return written


def replace_folder(built, target):
    """Puts the finished study where the last one was, in one rename when
    there was none; the old one goes aside first and is removed after."""
    old = None
    if os.path.lexists(target):
        old = tempfile.mkdtemp(prefix="." + os.path.basename(target) + "-old-", dir=os.path.dirname(target))
        os.rename(target, os.path.join(old, "study"))
    os.rename(built, target)
    if old:
        shutil.rmtree(old, ignore_errors=True)


def command_run(args):
    model = load_model(args.model)
    experiments = experiment_list(model, args.experiments)
    sweep = sweep_values(model, args.sweep) if args.sweep else None
    try:
        solve_args = split_words(args.solve_args, "SOLVE_ARGS")
        sim_args = split_words(args.sim_args, "SIM_ARGS")
    except AnswerError as error:
        raise StudyError(str(error)) from None
    options = args.plot.replace(",", " ").split()
    for word in options:
        if word not in PLOT_WORDS:
            raise StudyError(f"PLOT='{args.plot}': '{word}' is none of {', '.join(PLOT_WORDS)}")
    globals_ = list(model["globals"])
    runs = []
    for experiment in experiments:
        values = {g: str(model["values"][experiment].get(g, "")) for g in globals_}
        label = model["experiments"][experiment]
        if sweep is None:
            runs.append((experiment, label, values, None))
            continue
        gname, gtype, texts = sweep
        for text in texts:
            swept = dict(values)
            swept[gname] = text
            runs.append((experiment, f"{label}-{gname}={text}", swept, f"{TYPE_LETTERS[gtype]}:{gname}:{text}"))

    out = os.path.abspath(args.out)
    parent = os.path.dirname(out)
    os.makedirs(parent, exist_ok=True)
    building = tempfile.mkdtemp(prefix="." + os.path.basename(out) + "-new-", dir=parent)
    try:
        os.chmod(building, file_mode(0o777))
        rows, failures = run_all(args, model, runs, building, out, solve_args, sim_args)
        table_path = write_table(building, args.name, globals_, rows)
        varying = [g for g in globals_ if len({values[g] for _, _, values, _ in runs}) > 1]
        x_global = sweep[0] if sweep else (varying[0] if len(varying) == 1 else None)
        labels = [label for _, label, _, _ in runs]
        several = sweep is not None and len(experiments) > 1
        plots = plot(building, args.name, rows, x_global, labels, options, several) if len(runs) > 1 else []
        replace_folder(building, out)
    except BaseException:
        shutil.rmtree(building, ignore_errors=True)
        raise
    print(f"Table: {os.path.join(out, os.path.basename(table_path))}")
    for path in plots:
        print(f"Plot: {os.path.join(out, os.path.basename(path))}")
    if failures:
        print(f"study: {failures} of {len(runs)} runs failed; their rows in the table say why", file=sys.stderr)
        return 1
    return 0


def run_all(args, model, runs, folder, final, solve_args, sim_args):
    """Every run into `folder`, which becomes `final` when the study is done:
    messages name the final place."""
    rows, failures = [], 0
    started = time.monotonic()
    for number, (experiment, label, values, override) in enumerate(runs, 1):
        begun = time.monotonic()
        print(f"study: {number}/{len(runs)} {label} (experiment {experiment})", end="", file=sys.stderr, flush=True)
        base = {"run": label, "experiment": model["experiments"][experiment]}
        base.update(values)
        try:
            results = run_one(args, os.path.join(folder, label), args.name, experiment, override, solve_args,
                              sim_args)
        except RunFailed as error:
            failures += 1
            why = str(error).replace(folder, final)
            print(f": failed: {why}", file=sys.stderr, flush=True)
            rows.append(dict(base, **{c: "" for c in COLUMNS}, failure=why))
            continue
        simulated = sum(1 for r in results if r["half_width"] != "")
        print(f": {len(results)} values" + (f" ({simulated} simulated)" if simulated else "")
              + f" in {time.monotonic() - begun:.1f} s", file=sys.stderr, flush=True)
        rows.extend(dict(base, **result, failure="") for result in results)
    print(f"study: {len(runs)} runs in {time.monotonic() - started:.1f} s", file=sys.stderr)
    return rows, failures


def write_table(folder, name, globals_, rows):
    table = io.StringIO()
    writer = csv.writer(table, lineterminator="\n")
    writer.writerow(["run", "experiment"] + globals_ + COLUMNS + ["failure"])
    for row in rows:
        writer.writerow([row["run"], row["experiment"]] + [row[g] for g in globals_]
                        + [row.get(c, "") for c in COLUMNS] + [row["failure"]])
    path = os.path.join(folder, f"{name}.study.csv")
    write_atomically(path, table.getvalue().encode())
    return path


def main(argv):
    import argparse

    parser = argparse.ArgumentParser(prog="study.py", description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    index = commands.add_parser("index")
    index.add_argument("model")
    index.add_argument("experiment")
    run = commands.add_parser("run")
    for option in ("--model", "--gen", "--solve", "--name", "--out"):
        run.add_argument(option, required=True)
    run.add_argument("--simulate", default="")
    run.add_argument("--experiments", default="all")
    run.add_argument("--sweep", default="")
    run.add_argument("--solve-args", default="")
    run.add_argument("--sim-args", default="")
    run.add_argument("--plot", default="")
    args = parser.parse_args(argv)
    try:
        if args.command == "index":
            print(experiment_index(load_model(args.model), args.experiment))
            return 0
        return command_run(args)
    except StudyError as error:
        print(f"study: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
