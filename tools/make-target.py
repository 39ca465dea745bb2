#!/usr/bin/env python3
"""The recipes of `make run`, `make solve`, `make simulate` and `make study`.

    make-target.py run|solve|simulate|study

The Makefile hands the make variables over in the environment, as the user
wrote them and read by no shell (GEN_MAKE_MODEL, GEN_MAKE_EXPERIMENT,
GEN_MAKE_EXPERIMENTS, GEN_MAKE_SWEEP, GEN_MAKE_PLOT, GEN_MAKE_ARGS,
GEN_MAKE_SOLVE_ARGS, GEN_MAKE_SIM_ARGS, GEN_MAKE_BUILD_DIR, GEN_MAKE_JOBS,
GEN_MAKE_WERROR, GEN_MAKE_OUT). ARGS, SOLVE_ARGS and SIM_ARGS are split into
words as shlex splits them: at blanks, with '...' and "..." grouping and a
backslash escaping, and nothing else: no variable, command, glob or `;` is
acted on, so such text reaches the program as it is.

Configure and build run only when something they read changed: after a build
that worked, a stamp in <build>/make-stamps/ records when it started, which
programs it made and where. A later run of the same target and model (solve
and study build the same programs and share one stamp) skips CMake when the stamp is newer than the model file and every file and folder
of the sources (so an added or removed source counts too), and every program
it names is there and no newer than the stamp's end (so a build of another
model file with the same stem, which writes the same programs, is noticed).
Otherwise it configures and builds as before and writes the stamp again.
"""

import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOLS = os.path.join(ROOT, "tools")
COMPILED_IN = "redundant_controller_flash"
COMPILED_IN_FILE = f"models/{COMPILED_IN}.toml"
# What the programs are built from; tests/, bench/ and docs/ build none of them.
SOURCE_ROOTS = ["CMakeLists.txt", "cmake", "Common", "Cpp", "Generator", "Model", "Simulator", "Solver", "Umb",
                os.path.join("tools", "modelc")]
STAMP_VERSION = 1
MAKE_LINE = re.compile(r"^g?make(\[[0-9]+\])?: ")


class TargetError(Exception):
    pass


def env(name, default=""):
    return os.environ.get("GEN_MAKE_" + name, default)


def words(variable):
    text = env(variable)
    try:
        return shlex.split(text)
    except ValueError as error:
        raise TargetError(f"{variable}: {error} in {text!r} (quote as README.md shows)") from None


def newest_source(model):
    newest = os.stat(model).st_mtime if model else 0.0
    for top in SOURCE_ROOTS:
        path = os.path.join(ROOT, top)
        newest = max(newest, os.stat(path).st_mtime)
        for folder, dirs, files in os.walk(path):
            dirs[:] = [d for d in dirs if d != "__pycache__"]
            for name in dirs + files:
                newest = max(newest, os.stat(os.path.join(folder, name)).st_mtime)
    return newest


def stamp_path(build, target, model):
    key = hashlib.sha256(f"{target}\0{model}".encode()).hexdigest()[:16]
    return os.path.join(build, "make-stamps", f"{target}-{key}.json")


def fresh_stamp(path, model):
    try:
        with open(path, encoding="utf-8") as stream:
            stamp = json.load(stream)
        if stamp.get("version") != STAMP_VERSION or stamp.get("model") != model:
            return None
        for program in stamp["outputs"]:
            if os.stat(program).st_mtime > stamp["finished"]:
                return None
        if newest_source(model) >= stamp["started"]:
            return None
        return stamp
    except (OSError, ValueError, KeyError, TypeError):
        return None


def write_stamp(path, stamp):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as stream:
        json.dump(stamp, stream, indent=1)
    os.replace(temporary, path)


def echo_and_run(command, filter_make_lines=False):
    print(" ".join(command), flush=True)
    if not filter_make_lines:
        return subprocess.run(command).returncode
    # A build of a model's gen shows the compiler's own messages without
    # make's lines around them.
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    for line in process.stdout:
        if not MAKE_LINE.match(line.decode(errors="replace")):
            sys.stdout.buffer.write(line)
            sys.stdout.flush()
    return process.wait()


def build(target, model, build_dir):
    """The programs of `target` for `model` (empty: the compiled-in model),
    built unless a fresh stamp says they are current."""
    # solve and study build the same programs: one stamp serves both.
    stamp_file = stamp_path(build_dir, "solve" if target == "study" else target, model)
    stamp = fresh_stamp(stamp_file, model)
    if stamp:
        return stamp
    if model:
        check = subprocess.run([sys.executable, os.path.join(TOOLS, "modelc"), "--check", model])
        if check.returncode != 0:
            raise TargetError(None)
    started = time.time()
    configure = ["cmake", "-S", ".", "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release", f"-DGEN_WERROR={env('WERROR')}",
                 f"-DGEN_MODEL_FILE={model}"]
    if echo_and_run(configure) != 0:
        raise TargetError(None)
    have_simulate = "GEN_HAVE_PCG:INTERNAL=1" in read(os.path.join(build_dir, "CMakeCache.txt"))
    if model:
        targets = {"run": ["gen_model_file"], "simulate": ["simulate_model_file"],
                   "solve": ["gen_model_file", "solve"], "study": ["gen_model_file", "solve"]}[target]
        if target in ("solve", "study") and have_simulate:
            targets.append("simulate_model_file")
        lines = read(os.path.join(build_dir, "model_file.txt")).split("\n")
        gen, name = lines[0], lines[1]
    else:
        targets = {"run": ["gen"], "simulate": ["simulate"]}[target]
        gen, name = os.path.join(build_dir, "gen"), COMPILED_IN
    if target == "simulate" and not have_simulate:
        raise TargetError("simulate needs pcg-cpp (apt-get install libpcg-cpp-dev)")
    if echo_and_run(["cmake", "--build", build_dir, "-j", env("JOBS", "2"), "--target"] + targets,
                    filter_make_lines=bool(model)) != 0:
        raise TargetError(None)
    simulate = os.path.join(os.path.dirname(gen), "simulate") if have_simulate else None
    solve = os.path.join(build_dir, "solve") if target in ("solve", "study") else None
    outputs = {"run": [gen], "simulate": [simulate], "solve": [gen, solve], "study": [gen, solve]}[target]
    if target in ("solve", "study") and simulate:
        outputs.append(simulate)
    stamp = {"version": STAMP_VERSION, "model": model, "started": started, "finished": time.time(), "name": name,
             "gen": gen, "solve": solve, "simulate": simulate, "outputs": outputs}
    write_stamp(stamp_file, stamp)
    return stamp


def read(path):
    try:
        with open(path, encoding="utf-8") as stream:
            return stream.read()
    except OSError:
        return ""


def main(argv):
    target = argv[1]
    model = env("MODEL").strip()
    if target in ("solve", "study") and not model:
        raise TargetError(f"make {target}: give MODEL=path/to/model.toml")
    if model and not os.path.isfile(model):
        raise TargetError(f"make {target}: no model file {model}")
    model = os.path.abspath(model) if model else ""
    deps = {"run": [], "simulate": ["simulate"], "solve": ["solve", "simulate"], "study": ["solve", "simulate"]}
    if deps[target] and subprocess.run([os.path.join(TOOLS, "install-deps.sh")] + deps[target]).returncode != 0:
        raise TargetError(None)
    # Split before anything is built: a quote left open is reported at once.
    args = words("ARGS")
    solve_args, sim_args = words("SOLVE_ARGS"), words("SIM_ARGS")
    build_dir = env("BUILD_DIR", "build")
    stamp = build(target, model, build_dir)
    out = env("OUT") or os.path.join(os.getcwd(), "out")
    names_file = model or os.path.join(ROOT, COMPILED_IN_FILE)
    name, gen = stamp["name"], stamp["gen"]
    experiment = env("EXPERIMENT", "0")
    if target == "run":
        command = [os.path.join(TOOLS, "run-gen.sh"), out, gen, name, names_file, experiment] + args
    elif target == "simulate":
        command = [os.path.join(TOOLS, "run-simulate.sh"), out, stamp["simulate"], name, names_file,
                   experiment] + sim_args
    elif target == "solve":
        command = [os.path.join(TOOLS, "run-gen.sh")]
        if stamp["simulate"]:
            command += ["--simulate", stamp["simulate"], env("SIM_ARGS")]
        command += ["--solve", stamp["solve"], env("SOLVE_ARGS"), out, gen, name, model, experiment, "-U"] + args
    else:
        command = [sys.executable, os.path.join(TOOLS, "study.py"), "run", "--model=" + model, "--gen=" + gen,
                   "--solve=" + stamp["solve"], "--name=" + name, "--out=" + os.path.join(out, name + "-study"),
                   "--experiments=" + env("EXPERIMENTS", "all"), "--sweep=" + env("SWEEP"),
                   "--solve-args=" + env("SOLVE_ARGS"), "--sim-args=" + env("SIM_ARGS"), "--plot=" + env("PLOT")]
        if stamp["simulate"]:
            command.append("--simulate=" + stamp["simulate"])
    return subprocess.run(command).returncode


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except TargetError as error:
        if error.args[0]:
            print(error.args[0], file=sys.stderr)
        sys.exit(2)
    except OSError as error:
        print(f"make {sys.argv[1]}: {error}", file=sys.stderr)
        sys.exit(2)
    except KeyboardInterrupt:
        sys.exit(130)
