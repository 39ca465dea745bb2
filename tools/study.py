#!/usr/bin/env python3
"""Parameter studies over a model file's experiments, and experiment look-up.

    study.py index MODEL.toml EXPERIMENT
        prints the number of EXPERIMENT (a number or an experiment's name);
        exit status 1 with a message when the model has no such experiment.

    study.py run --model MODEL.toml --gen GEN --solve SOLVE --name NAME --out DIR
                 [--experiments SPEC] [--sweep GLOBAL=VALUES] [--solve-args ARGS]
        runs gen -U and solve for every chosen experiment (SPEC: "all", a list
        "0,2,5", ranges "0-4", names, or a mix) and, with --sweep, every value
        of one global variable in each of them (VALUES: "1,2,4" or
        "first:last" or "first:step:last", as integers or reals). Each run
        writes its files into DIR/<run>/; DIR/<NAME>.study.csv gets one row per
        run and value: the experiment's name, every global's value, and the
        solver's columns. DIR/<NAME>.<variable>.svg plots each variable against
        the global that varies (one line per time point). Progress goes to
        standard error.

Standard library only: the model file is read with tomllib, and the files are
written under temporary names and renamed into place, so an interrupted study
leaves the previous table whole.
"""

import csv
import io
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time
import tomllib
from decimal import Decimal, InvalidOperation

# The -O override letters of the global variables' C++ types.
TYPE_LETTERS = {"bool": "b", "char": "c", "short": "s", "int": "i", "long": "l", "float": "f", "double": "d"}
INTEGER_TYPES = {"bool", "char", "short", "int", "long"}


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
    values = [experiments.get(name, {}) for name in names]
    return {"name": data.get("name", ""), "globals": globals_, "experiments": names, "values": values}


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
    try:
        value = Decimal(text)
    except InvalidOperation:
        raise StudyError(f"{what}: '{text}' is not a number") from None
    if not value.is_finite():
        raise StudyError(f"{what}: '{text}' is not a finite number")
    if integer and value != value.to_integral_value():
        raise StudyError(f"{what}: '{text}' is not a whole number")
    return value


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
    texts = [str(int(v)) if integer else str(v) for v in numbers]
    if not texts:
        raise StudyError(f"{what}: no values")
    return name, gtype, texts


def write_atomically(path, data):
    folder = os.path.dirname(path) or "."
    fd, temporary = tempfile.mkstemp(prefix=".study-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "wb") as stream:
            stream.write(data)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def run_one(args, run_dir, name, experiment, override, solve_args):
    os.makedirs(run_dir, exist_ok=True)
    prefix = run_dir + os.sep
    command = [args.gen, "-P" + prefix, "-N" + name, f"-B{experiment}", "-U"]
    if override:
        command.append("-O" + override)
    gen = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if gen.returncode != 0:
        raise StudyError(f"gen failed ({' '.join(shlex.quote(c) for c in command)}):\n"
                         + (gen.stdout + gen.stderr).strip())
    solve = subprocess.run([args.solve, "-P" + prefix, "-N" + name] + solve_args,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if solve.returncode != 0:
        raise StudyError(f"solve failed in {run_dir}:\n" + (solve.stdout + solve.stderr).strip())
    with open(os.path.join(run_dir, name + ".results.csv"), newline="") as stream:
        return list(csv.DictReader(stream))


def plot(args, rows, globals_, varying, labels):
    """One plot per variable against the varying global (or the run)."""
    try:
        subprocess.run(["gnuplot", "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    except (OSError, subprocess.CalledProcessError):
        print("study: gnuplot is not installed: no plots", file=sys.stderr)
        return []
    written = []
    variables = list(dict.fromkeys(row["variable"] for row in rows))
    for variable in variables:
        series = {}
        for row in rows:
            if row["variable"] != variable:
                continue
            point = row["kind"] if row["start"] == "" else (
                f"t = {row['start']}" if row["start"] == row["stop"] else f"[{row['start']}, {row['stop']}]")
            x = row[varying] if varying else str(labels.index(row["experiment_run"]))
            series.setdefault(point, []).append((x, row["value"]))
        if all(len(points) < 2 for points in series.values()):
            continue
        script = io.StringIO()
        script.write("set terminal svg size 800,500 dynamic\nset output\n")
        script.write(f"set title \"{variable}\" noenhanced\nset key outside noenhanced\nset grid\n")
        script.write(f"set xlabel \"{varying or 'run'}\" noenhanced\nset ylabel \"{variable}\" noenhanced\n")
        if not varying:
            tics = ", ".join(f"\"{label}\" {i}" for i, label in enumerate(labels))
            script.write(f"set xtics ({tics}) rotate by -30 noenhanced\n")
        script.write("plot " + ", ".join(f"'-' using 1:2 with linespoints title \"{title}\""
                                         for title in series) + "\n")
        for points in series.values():
            for x, y in points:
                script.write(f"{x} {y}\n")
            script.write("e\n")
        # gnuplot writes to its standard output; the file is ours to name.
        result = subprocess.run(["gnuplot"], input=script.getvalue().encode(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        if result.returncode != 0 or not result.stdout:
            raise StudyError(f"gnuplot failed on {variable}: {result.stderr.decode(errors='replace').strip()}")
        path = os.path.join(args.out, f"{args.name}.{variable}.svg")
        write_atomically(path, result.stdout)
        written.append(path)
    return written


def command_run(args):
    model = load_model(args.model)
    experiments = experiment_list(model, args.experiments)
    sweep = sweep_values(model, args.sweep) if args.sweep else None
    solve_args = shlex.split(args.solve_args)
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

    os.makedirs(args.out, exist_ok=True)
    rows = []
    started = time.monotonic()
    for number, (experiment, label, values, override) in enumerate(runs, 1):
        begun = time.monotonic()
        print(f"study: {number}/{len(runs)} {label} (experiment {experiment})", end="", file=sys.stderr, flush=True)
        results = run_one(args, os.path.join(args.out, label), args.name, experiment, override, solve_args)
        print(f": {len(results)} values in {time.monotonic() - begun:.1f} s", file=sys.stderr, flush=True)
        for result in results:
            row = {"experiment": model["experiments"][experiment], "experiment_run": label}
            row.update(values)
            row.update(result)
            rows.append(row)

    solver_columns = ["variable", "kind", "start", "stop", "value", "method", "iterations", "error_bound"]
    table = io.StringIO()
    writer = csv.writer(table, lineterminator="\n")
    writer.writerow(["run", "experiment"] + globals_ + solver_columns)
    for row in rows:
        writer.writerow([row["experiment_run"], row["experiment"]] + [row[g] for g in globals_]
                        + [row.get(c, "") for c in solver_columns])
    table_path = os.path.join(args.out, f"{args.name}.study.csv")
    write_atomically(table_path, table.getvalue().encode())

    varying = [g for g in globals_ if len({values[g] for _, _, values, _ in runs}) > 1]
    x_global = sweep[0] if sweep else (varying[0] if len(varying) == 1 else None)
    labels = [label for _, label, _, _ in runs]
    plots = plot(args, rows, globals_, x_global, labels) if len(runs) > 1 else []
    print(f"study: {len(runs)} runs in {time.monotonic() - started:.1f} s", file=sys.stderr)
    print(f"Table: {table_path}")
    for path in plots:
        print(f"Plot: {path}")


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
    run.add_argument("--experiments", default="all")
    run.add_argument("--sweep", default="")
    run.add_argument("--solve-args", default="")
    args = parser.parse_args(argv)
    try:
        if args.command == "index":
            print(experiment_index(load_model(args.model), args.experiment))
        else:
            command_run(args)
    except StudyError as error:
        print(f"study: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
