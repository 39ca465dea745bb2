"""What every emitter uses: the units it makes, their banner, and the bindings
that give a fragment's names their meaning."""

from __future__ import annotations

import os
import re

from ..check import Checker
from ..cpp import names_used
from ..names import GLOBALS_NS
from .unit import Unit


class UnitWriter:
    """Makes and keeps the units; the emitters of each part are parts of the
    one Emitter built on it."""

    def __init__(self, model: Checker, model_path: str, outdir: str):
        self.m = model
        self.model_path = model_path
        self.outdir = outdir
        self.units: dict[str, str] = {}
        self.study_h = f"{model.name}_studyRangeStudy.h"
        shown = re.sub(r"[^\w.\- ]", "?", os.path.basename(model_path))
        self.banner = f"// Generated from {shown}; edit the model file, not this unit."

    def unit(self, name: str) -> Unit:
        return Unit(name, self.model_path, os.path.join(self.outdir, name))

    def put(self, unit: Unit):
        self.units[unit.name] = unit.text()

    # A fragment runs in a function whose block scope declares the model's
    # names it uses: each place a reference to its marking, each array a
    # reference to the array, each global variable a using-declaration. Block
    # scope hides every name of the generated classes, the framework and the
    # libraries, so a model may call its places and globals what it likes.
    # A constant is bound to its value; a formula's name is replaced by the
    # call of its function with the places it reads.

    def global_bindings(self, text: str) -> list[str]:
        return [f"using ::{GLOBALS_NS}::{g};" for g in names_used(text, self.m.globals)] + \
            [f"const auto {c} = ::{GLOBALS_NS}::{c}();" for c in names_used(text, self.m.constants)]
