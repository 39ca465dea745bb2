"""The compile: reads the model file, checks it, emits its units and writes
them; and the command line."""

from __future__ import annotations

import os
import re
import sys
import tempfile
import tomllib

from .check import Checker
from .emit import Emitter
from .model import MAX_DEPTH, ModelError
from .tomlmap import scan_toml


def compile_model(path: str, outdir: str = ".", source_name: str | None = None,
                  warnings: list | None = None) -> tuple[str, dict[str, str]]:
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        raise ModelError(None, "", f"cannot read the model file: {e.strerror}")
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        raise ModelError(None, "", "the model file is not UTF-8 text")
    too_deep = scan_toml(text)[2]
    if too_deep is not None:
        raise ModelError(too_deep, "", f"arrays and inline tables nest more than {MAX_DEPTH} deep here; "
                         f"at most {MAX_DEPTH} levels are read")
    try:
        data = tomllib.loads(text)
    except RecursionError:
        raise ModelError(None, "", f"the model file nests deeper than can be read (at most {MAX_DEPTH} levels)")
    except tomllib.TOMLDecodeError as e:
        m = re.search(r"\(at line (\d+), column (\d+)\)", str(e))
        message = re.sub(r"\s*\(at line \d+, column \d+\)", "", str(e))
        raise ModelError(int(m.group(1)) if m else None, "", f"TOML syntax error: {message}")
    model = Checker(path, text, data).check()
    units = Emitter(model, source_name or path, outdir).emit()
    if warnings is not None:
        warnings.extend(model.warnings)
    return model.name, units


def write_units(outdir: str, files: dict[str, str]):
    """Writes every changed file to a new temporary in `outdir` (random name,
    created exclusively, never through a link) and renames them into place
    only once all are written; a failure removes the temporaries and leaves
    the earlier units as they were."""
    mask = os.umask(0o022)
    os.umask(mask)
    pending = []
    try:
        for name, text in files.items():
            path = os.path.join(outdir, name)
            try:
                with open(path, encoding="utf-8") as f:
                    if f.read() == text:
                        continue
            except (OSError, UnicodeDecodeError):
                pass
            fd, tmp = tempfile.mkstemp(prefix=".modelc-", suffix=".tmp", dir=outdir)
            pending.append((tmp, path))
            os.fchmod(fd, 0o666 & ~mask)
            with os.fdopen(fd, "w", encoding="utf-8") as f:
                f.write(text)
        # The manifest goes last: it names the units of a complete compile.
        for tmp, path in pending:
            os.replace(tmp, path)
        pending = []
    finally:
        for tmp, _path in pending:
            try:
                os.unlink(tmp)
            except OSError:
                pass


def main(argv: list[str]) -> int:
    args = argv[1:]
    options = {"--source-name": None, "--line-dir": None}
    while len(args) > 2 and args[-2] in options:
        options[args[-2]] = args[-1]
        args = args[:-2]
    if len(args) != 2:
        print("usage: modelc MODEL.toml OUTDIR [--source-name NAME] [--line-dir DIR]", file=sys.stderr)
        return 2
    path, outdir = args
    check_only = path == "--check"
    if check_only:
        path, outdir = outdir, "."
    def report(e: ModelError):
        where = path + (f":{e.line}" if e.line else "")
        field = f" {e.field}:" if e.field else ""
        print(f"{where}:{field} {e.message}", file=sys.stderr)

    warnings: list[ModelError] = []
    try:
        name, units = compile_model(path, options["--line-dir"] or outdir, options["--source-name"], warnings)
    except ModelError as e:
        report(e)
        return 1
    for w in warnings:
        report(w)
    if check_only:
        return 0
    try:
        os.makedirs(outdir, exist_ok=True)
        manifest = os.path.join(outdir, "manifest.txt")
        old = []
        if os.path.exists(manifest):
            with open(manifest, encoding="utf-8") as f:
                old = f.read().split("\n")[1:]
        files = dict(units)
        files["manifest.txt"] = "\n".join([name] + sorted(units)) + "\n"
        write_units(outdir, files)
        for stale in old:
            if stale and stale not in units and os.path.basename(stale) == stale:
                try:
                    os.unlink(os.path.join(outdir, stale))
                except FileNotFoundError:
                    pass
    except OSError as e:
        print(f"{path}: cannot write the generated units into {outdir}: {e}", file=sys.stderr)
        return 1
    return 0
