#!/usr/bin/env python3
"""Every variable of one run: exact values from `solve`, intervals from
`simulate` for the rows `solve` leaves for the simulator.

    answer.py --solve SOLVE [--simulate SIMULATE] --dir DIR --name NAME --experiment K
              [--solve-args ARGS] [--sim-args ARGS] [-- gen options...]

`make solve` runs it after gen -U (tools/run-gen.sh); `make study` calls
answer() for each run. solve runs on DIR/NAME. When it exits 0 nothing else
happens: its table and DIR/NAME.results.csv are the answer. When it exits 3
it has given every row it can and marked the others with the method
`simulate`; SIMULATE then runs once, on the same experiment and with the
gen options' last -O (the overrides the chain was generated with), with one
-V for each such variable, and DIR/NAME.answers.csv gets every row of
results.csv in its order with the estimate, its interval and the
simulator's precision verdict filled in where solve had none (method
`simulation`). The console gets the combined table after the
programs' own output. ARGS strings are split into words as shlex splits
them (blanks, quotes, backslashes; nothing is expanded or run).

Exit status: 0 when every row has a value or an interval; solve's status
when it failed (1); otherwise 1, with the rows that got neither named.
"""

import argparse
import csv
import io
import os
import shlex
import subprocess
import sys
import tempfile

SOLVE_PARTIAL = 3
LEFT_FOR_SIMULATOR = "simulate"
SOLVER_COLUMNS = ["variable", "kind", "start", "stop", "value", "method", "iterations", "error_bound"]
# Appended after the solver's columns, in this order; empty on exact rows.
# The interval is [lower, upper] (not always centred: a probability's is
# not); half_width is the distance to its farther end, as simulate gives it.
INTERVAL_COLUMNS = ["half_width", "lower", "upper", "level", "replications", "precision"]
COLUMNS = SOLVER_COLUMNS + INTERVAL_COLUMNS


class AnswerError(Exception):
    """Why a run has no answer; `status` is the exit status to end with."""

    def __init__(self, message, status=1):
        super().__init__(message)
        self.status = status


def split_words(text, what):
    try:
        return shlex.split(text)
    except ValueError as error:
        raise AnswerError(f"{what}: {error} in {text!r}") from None


def last_override(gen_options):
    """The value of the last -O among gen's options (attached or the next word)."""
    found = None
    for i, word in enumerate(gen_options):
        if word == "-O" and i + 1 < len(gen_options):
            found = gen_options[i + 1]
        elif word.startswith("-O") and len(word) > 2:
            found = word[2:]
    return found


def read_rows(path):
    with open(path, newline="", encoding="utf-8") as stream:
        return list(csv.DictReader(stream))


def row_key(row):
    """A row's variable and time, with the times as numbers: solve and
    simulate both write them with 17 significant digits, but compare the
    values, not the texts."""
    def number(text):
        return float(text) if text not in ("", None) else None
    if row["kind"] == "first_passage":
        # solve's value has no time; simulate's is up to the cap.
        return row["variable"], row["kind"], None, None
    return row["variable"], row["kind"], number(row["start"]), number(row["stop"])


def write_atomically(path, data):
    folder = os.path.dirname(path) or "."
    fd, temporary = tempfile.mkstemp(prefix=".answer-", suffix=".tmp", dir=folder)
    try:
        # Readable as the programs' own results are (0644 under the usual umask).
        mask = os.umask(0)
        os.umask(mask)
        os.fchmod(fd, 0o666 & ~mask)
        with os.fdopen(fd, "wb") as stream:
            stream.write(data)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def run_program(command, capture):
    if capture:
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        return result.returncode, (result.stdout + result.stderr).strip()
    return subprocess.run(command).returncode, ""


def answer(solve, simulate, folder, name, experiment, override, solve_args, sim_args, capture):
    """The rows of every variable (dicts over COLUMNS) and the path of the
    table that holds them; AnswerError says why there are none."""
    prefix = folder.rstrip(os.sep) + os.sep
    status, output = run_program([solve, "-P" + prefix, "-N" + name] + solve_args, capture)
    results = os.path.join(folder, name + ".results.csv")
    if status not in (0, SOLVE_PARTIAL):
        # Without capture, solve's own messages are on the console already.
        raise AnswerError(f"solve failed (status {status})" + (f": {output}" if output else "") if capture else "",
                          status)
    rows = [dict(row, **{c: "" for c in INTERVAL_COLUMNS}) for row in read_rows(results)]
    if status == 0:
        return rows, results
    left = list(dict.fromkeys(r["variable"] for r in rows if r["method"] == LEFT_FOR_SIMULATOR))
    if not simulate:
        raise AnswerError(f"solve left {', '.join(left)} for the simulator, and this build has no simulate "
                          "(it needs pcg-cpp: apt-get install libpcg-cpp-dev)")
    command = [simulate, "-P" + prefix, "-N" + name, f"-B{experiment}"]
    if override is not None:
        command.append("-O" + override)
    for variable in left:
        command.append("-V" + variable)
    status, output = run_program(command + sim_args, capture)
    if status != 0:
        raise AnswerError(f"simulate failed (status {status}) on {', '.join(left)}" + (f": {output}" if output else ""))
    estimates = {row_key(r): r for r in read_rows(os.path.join(folder, name + ".sim.csv"))}
    missing = []
    for row in rows:
        if row["method"] != LEFT_FOR_SIMULATOR:
            continue
        estimate = estimates.get(row_key(row))
        if estimate is None:
            missing.append(row)
            continue
        row.update(value=estimate["estimate"], method="simulation",
                   **{c: estimate.get(c, "") for c in INTERVAL_COLUMNS})
    table = io.StringIO()
    writer = csv.DictWriter(table, fieldnames=COLUMNS, lineterminator="\n", extrasaction="ignore")
    writer.writeheader()
    writer.writerows(rows)
    path = os.path.join(folder, name + ".answers.csv")
    write_atomically(path, table.getvalue().encode())
    if missing:
        raise AnswerError("simulate gave no estimate for " + ", ".join(f"{r['variable']} ({r['kind']})"
                                                                        for r in missing))
    return rows, path


def number_text(text, digits):
    return "-" if text == "" else f"{float(text):.{digits}g}"


def time_text(row):
    if row["start"] == "":
        return "-"
    start, stop = float(row["start"]), float(row["stop"])
    return f"{stop:g}" if row["kind"] in ("instant", "reached") else f"[{start:g}, {stop:g}]"


def interval_text(row):
    if row["lower"] != "" and row["upper"] != "":
        return f"[{float(row['lower']):.6g}, {float(row['upper']):.6g}]"
    if row["half_width"] != "":
        return "+/- " + number_text(row["half_width"], 2)
    return "-"


def console_table(rows):
    head = ["variable", "kind", "time", "value", "interval", "level", "method", "iterations", "error bound"]
    cells = [head]
    for r in rows:
        level = "-" if r["level"] == "" else f"{float(r['level']) * 100:g}%"
        method = r["method"] if r["precision"] in ("", "ok") else f"{r['method']} ({r['precision']})"
        cells.append([r["variable"], r["kind"], time_text(r), number_text(r["value"], 12), interval_text(r), level,
                      method, r["iterations"] or "-", number_text(r["error_bound"], 2)])
    widths = [max(len(line[c]) for line in cells) for c in range(len(head))]
    return "".join("  ".join(cell.ljust(widths[c]) for c, cell in enumerate(line)).rstrip() + "\n" for line in cells)


def main(argv):
    parser = argparse.ArgumentParser(prog="answer.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--solve", required=True)
    parser.add_argument("--simulate", default="")
    parser.add_argument("--dir", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--experiment", required=True)
    parser.add_argument("--solve-args", default="")
    parser.add_argument("--sim-args", default="")
    parser.add_argument("gen_options", nargs="*")
    args = parser.parse_args(argv)
    try:
        solve_args = split_words(args.solve_args, "SOLVE_ARGS")
        sim_args = split_words(args.sim_args, "SIM_ARGS")
        rows, path = answer(args.solve, args.simulate, args.dir, args.name, args.experiment,
                            last_override(args.gen_options), solve_args, sim_args, capture=False)
    except AnswerError as error:
        if str(error):
            print(f"answer: {error}", file=sys.stderr)
        return error.status
    if not path.endswith(".results.csv"):
        print("\nExact values and simulation intervals:")
        print(console_table(rows), end="")
    print(f"The results are in {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
