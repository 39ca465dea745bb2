"""Checks of the study: global variables, experiments, constants and formulas."""

from __future__ import annotations

import json
import re

from ..cpp import names_used
from ..model import FLOAT_MAX, GLOBAL_TYPES, INTEGER_TYPES, Atomic, ModelError

# An experiment's name becomes a folder's name and a plot's label.
EXPERIMENT_NAME = re.compile(r"[A-Za-z0-9_][A-Za-z0-9_.+=-]*")


class StudyChecks:
    """Part of Checker: the study's tables."""

    def check_globals(self):
        table = self.get(self.data, (), "globals", dict, required=False, default={})
        self.globals = {}
        for name, ctype in table.items():
            path = ("globals", name)
            self.ident(name, path, "global variable")
            if ctype not in GLOBAL_TYPES:
                self.fail(path, f"type '{ctype}' of global '{name}' is not one of {', '.join(GLOBAL_TYPES)}")
            self.globals[name] = ctype

    def check_experiments(self):
        table = self.get(self.data, (), "experiments", dict, required=bool(self.globals), default={})
        self.experiments = []
        if self.globals and not table:
            self.fail(("experiments",), "the study needs at least one experiment")
        if not self.globals and not table:
            # A model without globals still has one experiment to run.
            self.experiments.append(("default", {}))
            return
        for ename, values in table.items():
            path = ("experiments", ename)
            if not EXPERIMENT_NAME.fullmatch(ename):
                # The name is printed on a line of its own, kept in the
                # generated code's strings, made a folder's name by the make
                # targets and a title in plot scripts: one plain word is safe
                # in all of them.
                raise ModelError(self.map.escaped.get(path) or self.map.line(path), self.describe(path),
                                 f"experiment name {json.dumps(ename)} must be one word of letters, digits, '_', "
                                 "'.', '-', '+' and '=' that starts with a letter, a digit or '_' (it names a "
                                 "folder: no blanks, quotes, slashes or control characters)")
            if not isinstance(values, dict):
                self.fail(path, f"experiment '{ename}' must be a table of variable = value")
            for var in self.globals:
                if var not in values:
                    self.fail(path, f"experiment '{ename}' gives no value to global variable '{var}'")
            out = {}
            for var, value in values.items():
                if var not in self.globals:
                    self.fail(path + (var,), f"experiment '{ename}' sets '{var}', which is no global variable", var)
                out[var] = self.literal(value, self.globals[var], path + (var,))
            self.experiments.append((ename, out))

    def literal(self, value, ctype: str, path: tuple) -> str:
        if ctype == "bool":
            if not isinstance(value, bool):
                self.fail(path, "a bool variable takes true or false")
            return "true" if value else "false"
        if isinstance(value, bool) or not isinstance(value, (int, float)):
            self.fail(path, f"a {ctype} variable takes a number")
        if ctype in INTEGER_TYPES:
            if not isinstance(value, int):
                self.fail(path, f"a {ctype} variable takes an integer")
            bits = {"char": 8, "short": 16, "int": 32, "long": 64}[ctype]
            if not -(2 ** (bits - 1)) <= value < 2 ** (bits - 1):
                self.fail(path, f"{value} does not fit a {ctype}")
            return f"{value}" if ctype != "long" else f"{value}L"
        text = repr(float(value))
        if text in ("inf", "-inf", "nan"):
            self.fail(path, "values must be finite")
        if ctype == "float" and abs(value) > FLOAT_MAX:
            self.fail(path, f"{value} does not fit a float (at most {FLOAT_MAX:.9g} in magnitude; use a double)")
        return text + ("f" if ctype == "float" else "")

    # -- constants and formulas

    def check_constants(self):
        self.constants = self.named_expressions("constants", "constant", {"global variable": self.globals})

    def check_formulas(self):
        self.formulas = self.named_expressions("formulas", "formula", {"global variable": self.globals,
                                                                       "constant": self.constants})

    def named_expressions(self, key: str, what: str, taken: dict) -> dict:
        """The [constants] or [formulas] table: name -> Fragment, in file
        order; each may use only those above it."""
        table = self.get(self.data, (), key, dict, required=False, default={})
        out = {}
        for name in table:
            path = (key, name)
            self.ident(name, path, what)
            for kind, names in taken.items():
                if name in names:
                    self.fail(path, f"duplicate name '{name}': it is also a {kind}", name)
            frag = self.fragment(table, (key,), name)
            self.refuse_integer_division(frag, path)
            for used in names_used(frag.text, [n for n in table if n not in out]):
                self.fail(path, f"{what} '{name}' uses '{used}', which is not defined before it", name)
            out[name] = frag
        return out

    def formula_places(self, m: Atomic, name: str) -> list:
        """The places of `m` that formula `name` reads, itself or through the
        formulas it uses, in the atomic model's place order."""
        text = self.formulas[name].text
        read = set(names_used(text, m.svnames))
        for inner in names_used(text, self.formulas):
            read.update(self.formula_places(m, inner))
        return [sv for sv in m.svnames if sv in read]

    def use_formula(self, m: Atomic, name: str, path: tuple):
        """Records that `m` uses formula `name` (and the formulas it uses);
        a formula reading a place that `m` lacks is refused here."""
        if name in m.formulas_used:
            return
        text = self.formulas[name].text
        others = self.all_places - set(m.svnames) - set(self.globals) - set(self.constants) - set(self.formulas)
        for foreign in names_used(text, others):
            self.fail(path, f"formula '{name}' reads '{foreign}', which is no place of atomic model '{m.name}' "
                      f"(its places: {', '.join(m.svnames)})", name)
        for inner in names_used(text, self.formulas):
            self.use_formula(m, inner, path)
        m.formulas_used.add(name)
