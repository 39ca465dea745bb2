"""modelc: compiles a model file (TOML) into the C++ units of one `gen`.

    python3 tools/modelc MODEL.toml OUTDIR [--source-name NAME] [--line-dir DIR]
    python3 tools/modelc --check MODEL.toml      (checks only; writes nothing)

or `python3 -m modelc ...` from tools/.

Writes the units (study, atomic models, composed models, reward model,
factory) into OUTDIR and, last, OUTDIR/manifest.txt: the model's name on the
first line, then one generated file name per line. Nothing is written before
the whole model file has been checked; then every changed unit is written to a
new temporary (random name, never through a link) and all are renamed into
place only once all are written, so a failed compile leaves no half-written
unit.
Units whose text is unchanged are left untouched (their timestamps too), and
units of an earlier compile that are no longer generated are removed.

The #line directives around the model's C++ fragments name the model file as
given, or NAME; those after them name the unit as OUTDIR/unit, or DIR/unit.

Errors go to standard error as "FILE:LINE: field: message" and the exit
status is 1; warnings as "FILE:LINE: field: warning: message", status 0.
docs/model-files.md shows the format by example and describes every field.

The package, in the order a compile runs through it:
    tomlmap.py   where each field of the model file stands, for messages
    names.py     the names a model may use, and reserved_names.txt
    model.py     the checked model's pieces, its limits, ModelError
    cpp.py       scanning the model's C++ fragments
    check/       the checks: base.py (fields and messages), study.py (globals,
                 experiments, constants, formulas), atomic.py (atomic models
                 and activities), composition.py, rewards.py
    emit/        the emitters: unit.py (a unit's text), base.py (the units and
                 the bindings of fragments), study.py, atomic.py,
                 composition.py, rewards.py, factory.py
    driver.py    reading, checking, emitting and writing; the command line
"""
