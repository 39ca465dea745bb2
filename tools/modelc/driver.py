"""The compile: reads the model file, checks it, emits its units and writes
them; and the command line."""

from __future__ import annotations

import json
import math
import os
import re
import sys
import tempfile
import tomllib

from .model import (DIST_CODE, FLOAT_MAX, GLOBAL_TYPES, INTEGER_TYPES, KINDS, MAX_DEPTH, MAX_INT, MAX_PHASES,
                    NAME_MAX, REWARD_KINDS, Activity, Atomic, Count, Fragment, ModelError, Node, literal_number,
                    toml_text)
from .names import GLOBALS_NS, IDENT, reserved_reason
from .tomlmap import LineMap, scan_toml


# ---------------------------------------------------------------------------
# C++ fragments: a place's name stands for its marking, an array's name for
# the array whose elements are indexed markings.

_TOKEN = re.compile(
    r'(?P<skip>"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'|//[^\n]*|/\*.*?\*/)'
    r"|(?P<num>\.?[0-9](?:[eE][+-]|[A-Za-z0-9_.'])*)"
    r"|(?P<id>[A-Za-z_][A-Za-z0-9_]*)"
    r"|(?P<other>->|::|.)",
    re.S,
)


def scan_identifiers(text: str):
    """Yields (identifier, start, end, previous significant token)."""
    previous = ""
    for m in _TOKEN.finditer(text):
        if m.group("skip"):
            continue
        if m.group("id"):
            yield m.group("id"), m.start(), m.end(), previous
            previous = m.group("id")
        elif m.group("num"):
            previous = m.group("num")
        else:
            tok = m.group("other")
            if not tok.isspace():
                previous = tok


def substitute(text: str, replace) -> str:
    """Rewrites identifiers not reached through '.', '->' or '::'; `replace`
    returns the new text or None to keep the identifier."""
    out = []
    last = 0
    for name, start, end, previous in scan_identifiers(text):
        if previous in (".", "->", "::"):
            continue
        new = replace(name, text, start, end)
        if new is None:
            continue
        out.append(text[last:start])
        out.append(new)
        last = end
    out.append(text[last:])
    return "".join(out)


def ends_in_line_comment(text: str) -> bool:
    last = None
    for last in _TOKEN.finditer(text):
        pass
    return last is not None and (last.group("skip") or "").startswith("//")


def bracket_problem(text: str) -> str | None:
    """What is wrong with the brackets of a C++ fragment, or None: a fragment
    must close what it opens and close nothing it did not open, or it would
    end the function it is compiled in."""
    pairs = {")": "(", "]": "[", "}": "{"}
    stack = []
    for m in _TOKEN.finditer(text):
        tok = m.group("other")
        if tok in ("(", "[", "{"):
            stack.append(tok)
        elif tok in pairs:
            if not stack or stack[-1] != pairs[tok]:
                return f"'{tok}' closes nothing the text opened"
            stack.pop()
    if stack:
        return f"'{stack[-1]}' is never closed"
    return None


def text_problem(text: str, expression: bool) -> str | None:
    """What keeps a C++ fragment from being compiled where the generated code
    puts it, or None. The fragment is pasted between lines of generated code,
    so it must not reach past itself: no directive, no line splice, nothing
    left open."""
    if expression and not text.strip():
        return "it is empty: it must hold a C++ expression"
    if re.search(r"\\[ \t\f\v\r]*(\n|\Z)", text):
        return "a line ends in a backslash, which would join the line after it"
    for m in _TOKEN.finditer(text):
        skip = m.group("skip")
        if skip:
            if skip[0] in "\"'" and "\n" in skip:
                return "a string or character literal runs past the end of its line"
            continue
        tok = m.group("other")
        if tok in ("\"", "'"):
            return "a string or character literal is never closed"
        if tok == "/" and text.startswith("/*", m.start()):
            return "a comment '/*' is never closed"
        if tok == "#" or (tok == "%" and text.startswith("%:", m.start())):
            return "it holds a preprocessor directive or '#': the model's C++ text cannot hold directives"
    return None


def names_used(text: str, names) -> list[str]:
    seen = []
    for name, _s, _e, previous in scan_identifiers(text):
        if previous in (".", "->", "::"):
            continue
        if name in names and name not in seen:
            seen.append(name)
    return seen

class Checker:
    def __init__(self, path: str, text: str, data: dict):
        self.path = path
        self.map = LineMap(text)
        self.data = data
        self.warnings: list[ModelError] = []

    def fail(self, path: tuple, message: str, token: str | None = None):
        raise ModelError(self.map.line(path, token), self.describe(path), message)

    # The nouns of the tables whose entries have names of their own.
    _ELEMENTS = {"atomic": "atomic model", "activity": "activity", "join": "join", "rep": "rep",
                 "reward": "reward", "case": "case", "impulse": "impulse"}
    _ENTRIES = {"places": "place", "arrays": "array", "globals": "global variable", "experiments": "experiment",
                "constants": "constant", "formulas": "formula"}

    def describe(self, path: tuple) -> str:
        """A field as the user wrote it: "'rate' of activity 'serve' of atomic
        model 'queue'" rather than "atomic[0].activity[3].rate"."""
        words = []
        node = self.data
        i = 0
        while i < len(path):
            key = path[i]
            following = path[i + 1] if i + 1 < len(path) else None
            if key in self._ELEMENTS and isinstance(following, int):
                items = node.get(key) if isinstance(node, dict) else None
                item = items[following] if isinstance(items, list) and following < len(items) else None
                name = item.get("name") if isinstance(item, dict) else None
                noun = self._ELEMENTS[key]
                words.append(f"{noun} {self.quoted(name)}" if isinstance(name, str) and key not in ("case", "impulse")
                             else f"{noun} {following + 1}")
                node = item
                i += 2
            elif key in self._ENTRIES and following is not None and isinstance(node, dict):
                words.append(f"{self._ENTRIES[key]} {self.quoted(following)}")
                node = None
                i += 2
            else:
                words.append(self.quoted(key))
                node = node.get(key) if isinstance(node, dict) else None
                i += 1
        return " of ".join(reversed(words))

    @staticmethod
    def quoted(name) -> str:
        """A name in a message: quoted, and a key that is no bare TOML key
        escaped, so that the message stays on one line."""
        name = str(name)
        return f"'{name}'" if re.fullmatch(r"[A-Za-z0-9_\-]+", name) else json.dumps(name)

    def warn(self, path: tuple, message: str, token: str | None = None):
        self.warnings.append(ModelError(self.map.line(path, token), self.describe(path), "warning: " + message))

    def get(self, table: dict, path: tuple, key: str, types, required=True, default=None):
        if key not in table:
            if required:
                self.fail(path, f"missing required field '{key}'")
            return default
        value = table[key]
        if isinstance(value, bool) and bool not in (types if isinstance(types, tuple) else (types,)):
            self.fail(path + (key,), f"'{key}' has the wrong type")
        if not isinstance(value, types):
            self.fail(path + (key,), f"'{key}' has the wrong type")
        return value

    def ident(self, value, path: tuple, what: str, token: str | None = None) -> str:
        if not isinstance(value, str) or not IDENT.match(value):
            shown = repr(value) if isinstance(value, str) else f"'{value}'"
            self.fail(path, f"{what} {shown} is not a C++ name (letters, digits and '_', "
                      "not starting with a digit)", token)
        reason = reserved_reason(value)
        if reason:
            self.fail(path, f"{what} '{value}' cannot be used: {reason}", token)
        return value

    def fragment(self, table: dict, path: tuple, key: str, required=True, default=None):
        value = table.get(key)
        if value is None:
            if required:
                self.fail(path, f"missing required field '{key}'")
            if default is None:
                return None
            return Fragment(default, None)
        if isinstance(value, bool):
            value = "true" if value else "false"
        elif isinstance(value, (int, float)):
            value = repr(value)
        if not isinstance(value, str):
            self.fail(path + (key,), f"'{key}' must be a string holding C++")
        problem = bracket_problem(value)
        if problem:
            self.fail(path + (key,), f"unbalanced brackets in '{key}': {problem}")
        problem = text_problem(value, expression=key != "effect")
        if problem:
            self.fail(path + (key,), f"'{key}' cannot be compiled: {problem}")
        return Fragment(value, self.map.body_line(path + (key,)), self.map.column(path + (key,)))

    def unknown_keys(self, table: dict, path: tuple, allowed):
        for key in table:
            if key not in allowed:
                self.fail(path + (key,), f"unknown field '{key}'")

    # -- whole model

    def check(self):
        d = self.data
        self.unknown_keys(d, (), ("name", "globals", "experiments", "constants", "formulas", "atomic", "join",
                                  "rep", "reward"))
        self.name = self.ident(self.get(d, (), "name", str), ("name",), "model name")
        self.taken = {}  # C++-level names that must stay distinct: name -> what
        self.check_globals()
        self.check_experiments()
        self.check_constants()
        self.check_formulas()
        # Every place name of every atomic model: a formula naming one that
        # the model using it lacks is refused.
        self.all_places = set()
        for a in d.get("atomic", []) if isinstance(d.get("atomic"), list) else []:
            for key in ("places", "arrays"):
                if isinstance(a, dict) and isinstance(a.get(key), dict):
                    self.all_places.update(a[key])
        self.atomics = {}
        for i, a in enumerate(self.get(d, (), "atomic", list)):
            atomic = self.check_atomic(a, ("atomic", i))
            if atomic.name in self.atomics:
                self.fail(("atomic", i, "name"), f"duplicate name '{atomic.name}': another atomic model has it")
            self.atomics[atomic.name] = atomic
        self.check_kinds()
        self.check_composition()
        self.check_rewards()
        self.check_file_names()
        return self

    def check_file_names(self):
        # Found here rather than by the file system half-way through writing.
        units = [(("name",), f"{self.name}_{role}.cpp")
                 for role in ("studyRangeStudy", "rewardPVModel", "rewardPVNodes", "Factory")]
        units += [(a.path + ("name",), f"{a.cls}.cpp") for a in self.atomics.values()]
        units += [(n.path + ("name",), f"{n.cls}.cpp") for n in self.nodes.values()]
        for path, unit in units:
            if len(unit.encode()) > NAME_MAX:
                self.fail(path, f"the generated unit {unit[:40]}... would have a {len(unit.encode())}-byte file name, "
                          f"more than the {NAME_MAX} a file system takes; shorten the name (of the model, or of "
                          "the joins and reps above it)")

    def check_kinds(self):
        # The generator has one procedure for deterministic delays and another
        # that keeps Erlang phases; no procedure takes both.
        first = {}
        for atomic in self.atomics.values():
            for act in atomic.activities:
                if act.kind in ("deterministic", "erlang"):
                    first.setdefault(act.kind, act)
                    other = "erlang" if act.kind == "deterministic" else "deterministic"
                    if other in first:
                        o = first[other]
                        self.fail(act.path + ("kind",), f"{act.kind} activity '{act.base}' beside {other} activity "
                                  f"'{o.base}' (line {self.map.line(o.path + ('kind',))}): one model cannot mix "
                                  "deterministic and Erlang activities")

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
            if not ename or any(ord(ch) < 0x20 or 0x7F <= ord(ch) < 0xA0 for ch in ename):
                # The name is printed on a line of its own and kept in the
                # generated code's strings.
                raise ModelError(self.map.escaped.get(path) or self.map.line(path), self.describe(path),
                                 f"experiment name {json.dumps(ename)} must be non-empty and hold no control "
                                 "characters (no newline or tab)")
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

    # -- atomic models

    def check_atomic(self, a, path: tuple) -> Atomic:
        if not isinstance(a, dict):
            self.fail(path, "an atomic model must be a table")
        self.unknown_keys(a, path, ("name", "places", "arrays", "activity"))
        m = Atomic()
        m.path = path
        m.name = self.ident(self.get(a, path, "name", str), path + ("name",), "atomic model name")
        m.cls = m.name + "SAN"
        m.places = {}  # name -> initial (C++ text)
        m.arrays = {}  # name -> (size, initial)
        m.bounds = {}  # place or array name -> (min, max), C++ text or None each
        m.formulas_used = set()
        local = {}

        def claim(name, where, token=None):
            self.ident(name, where, "name")
            if name in self.globals:
                self.fail(where, f"duplicate name '{name}': it is also a global variable", token)
            for table, what in ((self.constants, "constant"), (self.formulas, "formula")):
                if name in table:
                    self.fail(where, f"duplicate name '{name}': it is also a {what}", token)
            if name in local:
                self.fail(where, f"duplicate name '{name}' in atomic model '{m.name}': also {local[name]}", token)
            local[name] = where[-2] if len(where) > 1 and isinstance(where[-2], str) else "used"

        for name, init in self.get(a, path, "places", dict, required=False, default={}).items():
            where = path + ("places", name)
            claim(name, where, name)
            if isinstance(init, dict):
                self.unknown_keys(init, where, ("init", "min", "max"))
                self.place_bounds(m, name, init, where)
                init = init.get("init", 0)
            m.places[name] = self.marking(init, where)
            self.check_initial_in_bounds(m, name, init, where)
        for name, spec in self.get(a, path, "arrays", dict, required=False, default={}).items():
            where = path + ("arrays", name)
            claim(name, where, name)
            if not isinstance(spec, dict):
                self.fail(where, "an array is a table { size = N, init = M }", name)
            self.unknown_keys(spec, where, ("size", "init", "min", "max"))
            size = spec.get("size")
            if isinstance(size, bool) or not isinstance(size, int) or size < 1 or size > 100000:
                self.fail(where, "an array needs an integer 'size' from 1 on", name)
            self.place_bounds(m, name, spec, where)
            m.arrays[name] = (size, self.marking(spec.get("init", 0), where))
            self.check_initial_in_bounds(m, name, spec.get("init", 0), where)
        if not m.places and not m.arrays:
            self.fail(path, f"atomic model '{m.name}' has no place")
        m.svnames = list(m.places) + list(m.arrays)

        m.activities = []  # expanded: one per case
        m.groups = []  # (kind, name, [activity]); timed groups first, then instantaneous
        acts = self.get(a, path, "activity", list)
        declared = {}
        timed_groups, instant_groups = [], []
        for i, spec in enumerate(acts):
            apath = path + ("activity", i)
            members = self.check_activity(m, spec, apath, declared, local)
            group = members[0].group
            (instant_groups if members[0].kind == "instantaneous" else timed_groups).append(group)
            m.activities.extend(members)
        m.groups = timed_groups + instant_groups
        members = {}
        for act in m.activities:
            members.setdefault(act.name, []).append("activity")
        for g in m.groups:
            if g["cases"]:
                members.setdefault(g["name"], []).append("case group")
        # Names the generated class gives its own members and nested classes.
        own = {m.cls: "the name of the model's class", "CustomInitialization": "a member function of the model's class",
               "assignPlacesToActivitiesInst": "a member function of the model's class",
               "assignPlacesToActivitiesTimed": "a member function of the model's class"}
        for act in m.activities:
            own.setdefault(act.cls, f"the class of activity '{act.name}'")
        for name in list(local) + list(members):
            if name in own:
                self.fail(path, f"name '{name}' in atomic model '{m.name}' cannot be used: it is {own[name]}", name)
        for name, what in members.items():
            if len(what) > 1 or name in local:
                also = " and a place" if name in local else ""
                self.fail(path, f"duplicate name '{name}' in atomic model '{m.name}' "
                          f"(generated {' and '.join(what)}{also})", name)
        for gid, group in enumerate(m.groups):
            for act in group["members"]:
                act.group_id = gid
        return m

    def check_phases(self, value, path: tuple):
        phases = literal_number(value)
        if phases is not None and not (math.isfinite(phases) and 1 <= phases <= MAX_PHASES and phases == int(phases)):
            self.fail(path, f"phases {toml_text(value)} must be a whole number from 1 to {MAX_PHASES}")

    def marking(self, init, path: tuple, what: str = "initial marking") -> str:
        if isinstance(init, bool):
            self.fail(path, f"{what} is an integer, a global variable or a constant")
        if isinstance(init, int):
            if not -32768 <= init <= 32767:
                self.fail(path, f"{what} {init} does not fit a 16-bit marking")
            return str(init)
        if isinstance(init, str) and init in self.globals:
            if self.globals[init] not in INTEGER_TYPES:
                self.fail(path, f"initial marking '{init}' is a {self.globals[init]} global variable; a marking "
                          f"takes an integer or a global of an integer type ({', '.join(INTEGER_TYPES)})")
            return init
        if isinstance(init, str) and init in self.constants:
            return init
        self.fail(path, f"{what} '{init}' is neither an integer, a global variable nor a constant")

    # -- bounds

    def place_bounds(self, m: Atomic, name: str, spec: dict, where: tuple):
        """The bounds a place or array declares ({ min = ..., max = ... })."""
        low = self.marking(spec["min"], where + ("min",), "bound") if "min" in spec else None
        high = self.marking(spec["max"], where + ("max",), "bound") if "max" in spec else None
        if isinstance(spec.get("min"), int) and isinstance(spec.get("max"), int) and spec["min"] > spec["max"]:
            self.fail(where + ("max",), f"the bounds of '{name}' are empty: min {spec['min']} is above max {spec['max']}")
        if low is not None or high is not None:
            m.bounds[name] = (low, high)

    def check_initial_in_bounds(self, m: Atomic, name: str, init, where: tuple):
        low, high = m.bounds.get(name, (None, None))
        if not isinstance(init, int) or isinstance(init, bool):
            return  # a global's value is checked when the model is built
        for bound, outside in ((low, lambda b: init < b), (high, lambda b: init > b)):
            if bound is not None and bound.lstrip("-").isdigit() and outside(int(bound)):
                self.fail(where, f"initial marking {init} of '{name}' is outside its bounds "
                          f"(min {low if low is not None else 'none'}, max {high if high is not None else 'none'})", name)

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

    def places_in(self, m: Atomic, frag, path: tuple) -> list:
        """The places of `m` a fragment reads or writes, by name or through a
        formula, in order of first mention."""
        out = []
        if frag is None:
            return out
        for name in names_used(frag.text, set(m.svnames) | set(self.formulas)):
            if name in self.formulas:
                self.use_formula(m, name, path)
                named = self.formula_places(m, name)
            else:
                named = [name]
            for sv in named:
                if sv not in out:
                    out.append(sv)
        return out

    # -- arithmetic

    _INTEGER = re.compile(r"(?:0[xX][0-9A-Fa-f']+|0[bB][01']+|[0-9][0-9']*)[uUlL]*\Z")

    def refuse_integer_division(self, frag, path: tuple):
        """`1/60` in C++ is integer division (0): refused, with the fix."""
        if frag is None:
            return
        tokens = []
        for m in _TOKEN.finditer(frag.text):
            if m.group("skip") or (m.group("other") and m.group("other").isspace()):
                continue
            tokens.append(m)
        for k in range(1, len(tokens) - 1):
            left, op, right = tokens[k - 1], tokens[k], tokens[k + 1]
            if op.group("other") != "/" or not left.group("num") or not right.group("num"):
                continue
            if not self._INTEGER.match(left.group("num")) or not self._INTEGER.match(right.group("num")):
                continue
            if k >= 2 and tokens[k - 2].group("other") in ("*", "/", "%", ")"):
                continue  # the left literal is not the whole left operand
            a, b = left.group("num"), right.group("num")
            fix = f"{a}.0/{b}" if a.isdigit() else f"double({a})/{b}"
            line = frag.line + frag.text[:left.start()].count("\n") if frag.line else self.map.line(path)
            raise ModelError(line, self.describe(path),
                             f"'{a}/{b}' divides two integers, which C++ does in integer arithmetic "
                             f"(the result is truncated toward zero); write {fix} for the real quotient")

    def check_activity(self, m: Atomic, spec, path: tuple, declared, local) -> list:
        if not isinstance(spec, dict):
            self.fail(path, "an activity must be a table")
        self.unknown_keys(spec, path, (
            "name", "kind", "rate", "delay", "phases", "rank", "weight", "enabled", "effect", "case",
            "affects", "enables", "reactivation", "reactivation_predicate", "reactivation_function"))
        name = self.ident(self.get(spec, path, "name", str), path + ("name",), "activity name")
        if name in declared or name in local:
            self.fail(path + ("name",), f"duplicate name '{name}' in atomic model '{m.name}'")
        declared[name] = True
        kind = self.get(spec, path, "kind", str)
        if kind not in KINDS:
            self.fail(path + ("kind",), f"unknown distribution '{kind}' (use one of {', '.join(KINDS)})")
        enabled = self.fragment(spec, path, "enabled", required=False, default="true")
        rate = delay = phases = None
        if kind in ("exponential", "erlang"):
            rate = self.fragment(spec, path, "rate")
        if kind == "erlang":
            phases = self.fragment(spec, path, "phases")
        if kind == "deterministic":
            delay = self.fragment(spec, path, "delay")
        self.refuse_integer_division(rate, path + ("rate",))
        self.refuse_integer_division(delay, path + ("delay",))
        for key, needs in (("rate", ("exponential", "erlang")), ("delay", ("deterministic",)),
                           ("phases", ("erlang",)), ("rank", ("instantaneous",))):
            if key in spec and kind not in needs:
                self.fail(path + (key,), f"a {kind} activity has no '{key}'")
        rank = 1
        if "rank" in spec:
            rank = self.get(spec, path, "rank", int)
            if not -MAX_INT - 1 <= rank <= MAX_INT:
                self.fail(path + ("rank",), f"rank {rank} does not fit an int ({-MAX_INT - 1} to {MAX_INT})")
        if phases is not None:
            self.check_phases(spec["phases"], path + ("phases",))
        if "weight" in spec and "case" not in spec and kind != "instantaneous":
            self.warn(path + ("weight",), f"the weight of {kind} activity '{name}' is ignored: only cases and "
                      "instantaneous activities that compete are chosen by weight")
        reactivation = self.get(spec, path, "reactivation", bool, required=False, default=False)
        predicate = self.fragment(spec, path, "reactivation_predicate", required=False, default="false")
        function = self.fragment(spec, path, "reactivation_function", required=False, default="false")
        enables = self.arc_list(m, spec, path, "enables")

        cases = spec.get("case")
        if cases is not None:
            if "effect" in spec or "weight" in spec or "affects" in spec:
                self.fail(path, "an activity with cases gives 'weight', 'effect' and 'affects' per case")
            if not isinstance(cases, list) or len(cases) < 1:
                self.fail(path + ("case",), "'case' must list one or more cases")
            variants = []
            for k, case in enumerate(cases):
                cpath = path + ("case", k)
                if not isinstance(case, dict):
                    self.fail(cpath, "a case must be a table")
                self.unknown_keys(case, cpath, ("weight", "effect", "affects"))
                variants.append((cpath, case))
        else:
            variants = [(path, spec)]

        members = []
        group = {"name": name + "Group" if cases is not None else name, "members": members,
                 "cases": cases is not None}
        for k, (vpath, vspec) in enumerate(variants):
            act = Activity()
            act.path = vpath
            act.base = name
            act.kind = kind
            act.rank = rank
            act.reactivation = reactivation
            act.reactivation_predicate = predicate
            act.reactivation_function = function
            act.enabled = enabled
            act.rate, act.delay, act.phases = rate, delay, phases
            act.weight = self.fragment(vspec, vpath, "weight", required=False, default="1")
            self.refuse_integer_division(act.weight, vpath + ("weight",))
            weight = literal_number(vspec.get("weight"))
            if weight is not None and not (math.isfinite(weight) and weight >= 0):
                self.fail(vpath + ("weight",), f"weight {vspec['weight']} must be a finite number, not negative")
            act.effect = self.fragment(vspec, vpath, "effect", required=False, default="")
            if cases is not None:
                act.name = f"{name}_case{k + 1}"
                act.cls = f"{name}Activity_case{k + 1}"
            else:
                act.name = name
                act.cls = f"{name}Activity"
            act.group = group
            # Arcs: as listed, or the places the predicate (enable) and the
            # effect (affect) name, in order of first appearance.
            act.enables = enables if enables is not None else self.places_in(m, enabled, path + ("enabled",))
            affects = self.arc_list(m, vspec, vpath, "affects")
            changed = self.places_in(m, act.effect, vpath + ("effect",))
            act.affects = affects if affects is not None else changed
            used = []
            for sv in act.enables + act.affects:
                if sv not in used:
                    used.append(sv)
            for frag in (act.enabled, act.rate, act.delay, act.phases, act.weight, act.effect,
                         act.reactivation_predicate, act.reactivation_function):
                for sv in self.places_in(m, frag, vpath):
                    if sv not in used:
                        used.append(sv)
            act.uses = used
            # The bounded places the firing may change, checked after it.
            act.checked = [sv for sv in m.svnames if sv in m.bounds and (sv in changed or sv in act.affects)]
            members.append(act)
        return members

    def arc_list(self, m: Atomic, spec, path: tuple, key: str):
        if key not in spec:
            return None
        value = spec[key]
        if not isinstance(value, list) or not all(isinstance(v, str) for v in value):
            self.fail(path + (key,), f"'{key}' must list place names")
        for v in value:
            if v not in m.svnames:
                self.fail(path + (key,), f"'{key}' names '{v}', which is no place of '{m.name}' "
                          f"(its places: {', '.join(m.svnames)})", v)
        if len(set(value)) != len(value):
            self.fail(path + (key,), f"'{key}' names a place twice")
        return list(value)

    # -- composition

    def count_expr(self, value, path: tuple, what: str) -> Count:
        if isinstance(value, int) and not isinstance(value, bool):
            if value < 0:
                self.fail(path, f"{what} must not be negative")
            if value > MAX_INT:
                self.fail(path, f"{what} {value} is more than {MAX_INT}, the most a model can hold")
            return Count(str(value), str(value), False)
        if isinstance(value, str) and self.globals.get(value) in INTEGER_TYPES:
            # A long may exceed an int: checked when the model is built.
            return Count(f"::{GLOBALS_NS}::{value}", value, self.globals[value] == "long")
        self.fail(path, f"{what} {toml_text(value)} is neither an integer nor an integer global variable")

    def check_composition(self):
        self.nodes = {}
        order = []
        for kind in ("join", "rep"):
            for i, spec in enumerate(self.get(self.data, (), kind, list, required=False, default=[])):
                path = (kind, i)
                if not isinstance(spec, dict):
                    self.fail(path, f"a {kind} must be a table")
                n = Node()
                n.kind = kind
                n.path = path
                n.spec = spec
                n.name = self.ident(self.get(spec, path, "name", str), path + ("name",), f"{kind} name")
                if n.name in self.nodes or n.name in self.atomics:
                    self.fail(path + ("name",), f"duplicate name '{n.name}': another model has it")
                self.nodes[n.name] = n
                order.append(n)
        referenced = {}
        for n in order:
            if n.kind == "join":
                self.unknown_keys(n.spec, n.path, ("name", "children", "shared"))
                children = self.get(n.spec, n.path, "children", list)
                if not children:
                    self.fail(n.path + ("children",), "a join needs at least one child")
                n.children = []
                for k, c in enumerate(children):
                    cpath = n.path + ("children",)
                    if isinstance(c, str):
                        c = {"model": c}
                    if not isinstance(c, dict):
                        self.fail(cpath, "a child is a model name or a table { model = ..., name = ..., copies = ... }")
                    self.unknown_keys(c, cpath, ("model", "name", "copies"))
                    model = self.get(c, cpath, "model", str)
                    self.child_model(model, cpath, n, referenced)
                    inst = self.ident(c.get("name", model), cpath, "child name")
                    copies = None
                    if "copies" in c:
                        if model not in self.atomics:
                            self.fail(cpath, "'copies' repeats an atomic model only")
                        copies = self.count_expr(c["copies"], cpath, "copies")
                    if any(inst == other["name"] for other in n.children):
                        self.fail(cpath, f"duplicate name '{inst}' among the children of '{n.name}'", inst)
                    n.children.append({"model": model, "name": inst, "copies": copies})
            else:
                self.unknown_keys(n.spec, n.path, ("name", "child", "count", "shared"))
                model = self.get(n.spec, n.path, "child", str)
                self.child_model(model, n.path + ("child",), n, referenced)
                if "count" not in n.spec:
                    self.fail(n.path, "missing required field 'count'")
                n.count = self.count_expr(n.spec["count"], n.path + ("count",), "the rep count")
                n.children = [{"model": model, "name": model, "copies": None}]
        # A cycle, which leaves no root, is found here, by its own name.
        self.check_depth(order)
        roots = [n for n in order if n.name not in referenced]
        if len(roots) > 1:
            self.fail(roots[1].path + ("name",), f"'{roots[1].name}' is part of no other node, nor is "
                      f"'{roots[0].name}': the composition needs exactly one root (make one a child of the other "
                      "or of a join)")
        if order:
            self.root = roots[0]
            self.assign_classes(self.root, f"{self.name}_modelRJ")
            self.check_tree_cycles()
        else:
            if len(self.atomics) != 1:
                self.fail(("atomic",), "without 'join' or 'rep' the model must have exactly one atomic model")
            self.root = next(iter(self.atomics.values()))
        # Shared places, checked bottom-up so that a node knows its own.
        self.node_order = []
        if order:
            self.check_shared(self.root)
        self.instances = {}
        self.collect_instances(self.root, None)

    def child_model(self, model: str, path: tuple, parent: Node, referenced):
        if model not in self.atomics and model not in self.nodes:
            self.fail(path, f"'{model}' is neither an atomic model nor a join or rep "
                      f"(models: {', '.join(list(self.atomics) + list(self.nodes))})", model)
        if model in self.nodes:
            if model in referenced:
                self.fail(path, f"'{model}' is already a child of '{referenced[model]}'", model)
            if model == parent.name:
                self.fail(path, f"'{model}' cannot contain itself", model)
            referenced[model] = parent.name

    def assign_classes(self, node: Node, cls: str):
        node.cls = cls
        for c in node.children:
            if c["model"] in self.nodes:
                self.assign_classes(self.nodes[c["model"]], f"{cls}__{c['model']}")

    def check_depth(self, order):
        """Each node's depth below the root, found without recursion: the
        compiler walks the tree recursively, and its class names grow with
        the depth."""
        parent = {c["model"]: n.name for n in order for c in n.children if c["model"] in self.nodes}
        for n in order:
            depth, name, chain = 0, n.name, [n.name]
            while name in parent:
                name = parent[name]
                depth += 1
                if name in chain:
                    cycle = list(reversed(chain[chain.index(name):]))
                    first = self.nodes[cycle[0]]
                    self.fail(first.path + ("name",), " -> ".join(f"'{c}'" for c in cycle + [cycle[0]])
                              + " contain each other in a cycle")
                chain.append(name)
                if depth > MAX_DEPTH:
                    self.fail(n.path + ("name",), f"'{n.name}' lies more than {MAX_DEPTH} levels below the root "
                              f"of the composition; at most {MAX_DEPTH} are allowed")

    def check_tree_cycles(self):
        seen = set()

        def walk(n: Node):
            if n.name in seen:
                self.fail(n.path, f"'{n.name}' occurs twice in the composition")
            seen.add(n.name)
            for c in n.children:
                if c["model"] in self.nodes:
                    walk(self.nodes[c["model"]])

        walk(self.root)
        for n in self.nodes.values():
            if n.name not in seen:
                self.fail(n.path, f"'{n.name}' is not part of the composition")

    def has_shared(self, model: str, place: str) -> bool:
        if model in self.atomics:
            return place in self.atomics[model].places
        return place in self.nodes[model].shared_names

    def check_shared(self, node: Node):
        for c in node.children:
            if c["model"] in self.nodes:
                self.check_shared(self.nodes[c["model"]])
        spec_list = node.spec.get("shared", [])
        path = node.path + ("shared",)
        if not isinstance(spec_list, list):
            self.fail(path, "'shared' must list place names")
        node.shared = []  # (place, [child index])
        names = []
        for entry in spec_list:
            if isinstance(entry, str):
                place, members = entry, list(range(len(node.children)))
            elif isinstance(entry, dict) and isinstance(entry.get("place"), str) and isinstance(entry.get("children"), list):
                for key in entry:
                    if key not in ("place", "children"):
                        self.fail(path, f"unknown field '{key}' in a shared entry (it takes 'place' and 'children')", key)
                place = entry["place"]
                members = []
                for cname in entry["children"]:
                    idx = [k for k, c in enumerate(node.children) if c["name"] == cname]
                    if not idx:
                        self.fail(path, f"'{cname}' is no child of '{node.name}' (its children: "
                                  f"{', '.join(c['name'] for c in node.children)})", cname if isinstance(cname, str) else None)
                    members.append(idx[0])
            else:
                self.fail(path, "a shared entry is a place name or { place = ..., children = [...] }")
            self.ident(place, path, "shared place")
            if place in names:
                self.fail(path, f"duplicate name '{place}' in the shared places of '{node.name}'", place)
            names.append(place)
            if node.kind == "rep" and place == "InstanceArray":
                self.fail(path, "shared place 'InstanceArray' cannot be used: it is the Rep's list of its copies",
                          place)
            if place in [c["name"] for c in node.children]:
                self.fail(path, f"duplicate name '{place}': also a child of '{node.name}'", place)
            for k in members:
                c = node.children[k]
                if not self.has_shared(c["model"], place):
                    what = "place" if c["model"] in self.atomics else "shared place"
                    self.fail(path, f"shared place '{place}': child model '{c['model']}' has no {what} '{place}'", place)
            self.check_shared_marking(node, place, members, path)
            node.shared.append((place, members))
        node.shared_names = names
        self.node_order.append(node)

    def shared_init(self, model: str, place: str) -> str:
        """The initial marking a child gives its shared place: an atomic model
        its place's; a Rep its copies' (all alike); a Join the last sharing
        child's, which is the one that takes effect."""
        if model in self.atomics:
            return self.atomics[model].places[place]
        node = self.nodes[model]
        members = next(m for p, m in node.shared if p == place)
        return self.shared_init(node.children[members[-1]]["model"], place)

    def check_shared_marking(self, node: Node, place: str, members: list, path: tuple):
        inits = [(node.children[k]["name"], self.shared_init(node.children[k]["model"], place)) for k in members]
        if len({init for _c, init in inits}) > 1:
            listed = ", ".join(f"{c}: {init}" for c, init in inits)
            self.fail(path, f"shared place '{place}' has different initial markings in the children of '{node.name}' "
                      f"({listed}); give it the same one in each", place)

    def collect_instances(self, model, inst_name):
        if isinstance(model, Atomic):
            name = inst_name or model.name
            prev = self.instances.get(name)
            if prev is not None and prev is not model:
                self.fail(model.path, f"duplicate name '{name}': two different atomic models are known by it")
            self.instances[name] = model
            return
        for c in model.children:
            if c["model"] in self.atomics:
                a = self.atomics[c["model"]]
                # Rep replicas and Join copies carry the atomic model's name.
                named = c["name"] if (model.kind == "join" and c["copies"] is None) else a.name
                self.collect_instances(a, named)
            else:
                self.collect_instances(self.nodes[c["model"]], None)

    # -- rewards

    def check_rewards(self):
        self.rewards = []
        seen = set()
        for i, r in enumerate(self.get(self.data, (), "reward", list, required=False, default=[])):
            path = ("reward", i)
            if not isinstance(r, dict):
                self.fail(path, "a reward must be a table")
            self.unknown_keys(r, path, ("name", "kind", "times", "intervals", "rate", "submodels", "impulse"))
            name = self.get(r, path, "name", str)
            if not re.fullmatch(r"[A-Za-z0-9_][A-Za-z0-9_.\-]*", name):
                self.fail(path + ("name",), "a reward name is one word of letters, digits, '_', '.' and '-'")
            if name in seen:
                self.fail(path + ("name",), f"duplicate name '{name}': another reward has it")
            seen.add(name)
            kind = self.get(r, path, "kind", str, required=False, default="instant")
            if kind not in REWARD_KINDS:
                self.fail(path + ("kind",), f"unknown reward kind '{kind}' (one of " + ", ".join(REWARD_KINDS) + ")")
            starts, stops = self.reward_times(r, path, kind)
            rate = self.fragment(r, path, "rate", required=False)
            self.refuse_integer_division(rate, path + ("rate",))
            subs = r.get("submodels")
            if subs is not None and (not isinstance(subs, list) or not all(isinstance(s, str) for s in subs)):
                self.fail(path + ("submodels",), "'submodels' must list submodel names")
            reward = {"name": name, "kind": kind, "starts": starts, "stops": stops, "rate": None, "deps": [],
                      "vardeps": [], "impulses": [], "aggregates": []}
            if rate is not None:
                self.check_rate(reward, rate, subs, path)
            for k, imp in enumerate(self.get(r, path, "impulse", list, required=False, default=[])):
                ipath = path + ("impulse", k)
                if not isinstance(imp, dict):
                    self.fail(ipath, "an impulse must be a table { activity = \"submodel.activity\", value = ... }")
                self.unknown_keys(imp, ipath, ("activity", "case", "value"))
                target = self.get(imp, ipath, "activity", str)
                if target.count(".") != 1:
                    self.fail(ipath + ("activity",), "'activity' is written submodel.activity")
                sub, act = target.split(".")
                if sub not in self.instances:
                    self.fail(ipath + ("activity",), f"impulse names unknown submodel '{sub}' "
                              f"(submodels: {', '.join(self.instances)})")
                atomic = self.instances[sub]
                # The whole activity (every case), or one case by its
                # generated name.
                acts = [a for a in atomic.activities if a.base == act] or \
                    [a for a in atomic.activities if a.name == act and a.group["cases"]]
                if not acts:
                    names = ", ".join(dict.fromkeys(a.base for a in atomic.activities))
                    self.fail(ipath + ("activity",), f"impulse names unknown activity '{act}' of '{sub}' "
                              f"(its activities: {names})")
                if "case" in imp:
                    case = imp["case"]
                    cases = len(acts) if acts[0].group["cases"] and acts[0].base == act else 0
                    if not cases:
                        self.fail(ipath + ("case",), f"activity '{act}' of '{sub}' has no cases to choose from")
                    if isinstance(case, bool) or not isinstance(case, int) or not 1 <= case <= cases:
                        self.fail(ipath + ("case",), f"'case' must be a case number from 1 to {cases}, "
                                  f"the cases of activity '{act}' in file order")
                    acts = [acts[case - 1]]
                value = self.fragment(imp, ipath, "value")
                self.refuse_integer_division(value, ipath + ("value",))
                if any(n in ("count", "sum") and p not in (".", "->", "::") and self._AGGREGATE.match(value.text, e)
                       for n, _s, e, p in scan_identifiers(value.text)):
                    self.fail(ipath + ("value",), "count(...) and sum(...) belong in a rate reward: an impulse "
                              "value is earned by one instance and sees that instance's places")
                self.places_in(atomic, value, ipath + ("value",))
                for a in acts:
                    reward["impulses"].append({"submodel": sub, "atomic": atomic, "activity": a, "value": value})
            if reward["rate"] is None and not reward["impulses"]:
                self.fail(path, f"reward '{name}' has neither 'rate' nor 'impulse'")
            self.rewards.append(reward)

    def reward_times(self, r: dict, path: tuple, kind: str) -> tuple[list, list]:
        """The start and stop times of a reward of `kind`: an instant t is the
        pair (t, t); a steady-state reward has none."""
        def number(x):
            return isinstance(x, (int, float)) and not isinstance(x, bool) and math.isfinite(x) and x >= 0

        wants = {"instant": "times", "interval": "intervals", "time_averaged": "intervals"}.get(kind)
        for key in ("times", "intervals"):
            if key in r and key != wants:
                self.fail(path + (key,), f"a reward of kind '{kind}' has no '{key}'"
                          + (f" (it takes '{wants}')" if wants else ""))
        if wants is None:
            return [], []
        if wants == "times":
            times = self.get(r, path, "times", list)
            if not times or not all(number(t) for t in times):
                self.fail(path + ("times",), "'times' must list one or more time points (finite numbers from 0 on)")
            return [float(t) for t in times], [float(t) for t in times]
        intervals = self.get(r, path, "intervals", list)
        shape = "'intervals' must list one or more [start, stop] pairs of finite numbers from 0 on"
        if not intervals:
            self.fail(path + ("intervals",), shape)
        for pair in intervals:
            if not isinstance(pair, list) or len(pair) != 2 or not all(number(t) for t in pair):
                self.fail(path + ("intervals",), shape)
            start, stop = pair
            if kind == "time_averaged" and not stop > start:
                self.fail(path + ("intervals",), f"interval [{start}, {stop}] is empty: a time-averaged "
                          "interval needs stop > start")
            if stop < start:
                self.fail(path + ("intervals",), f"interval [{start}, {stop}] ends before it starts")
        return [float(p[0]) for p in intervals], [float(p[1]) for p in intervals]

    _AGGREGATE = re.compile(r"\s*\(\s*([A-Za-z_][A-Za-z0-9_]*)\s*:(?!:)")

    def aggregates(self, rate: Fragment, path: tuple) -> tuple[Fragment, list]:
        """The rate with each count(sub: condition) and sum(sub: expression)
        replaced by the call of a function of the worker over all instances
        of `sub`, and those aggregates, in order."""
        text = rate.text
        out, found, last = [], [], 0
        for name, start, end, previous in scan_identifiers(text):
            if start < last or name not in ("count", "sum") or previous in (".", "->", "::"):
                continue
            head = self._AGGREGATE.match(text, end)
            if not head:
                continue
            depth = 0
            for token in _TOKEN.finditer(text, end):
                tok = token.group("other")
                depth += tok in ("(", "[", "{")
                depth -= tok in (")", "]", "}")
                if depth == 0:
                    close = token.start()
                    break
            sub, inner = head.group(1), text[head.end():close]
            where = f"{name}({sub}: ...)"
            if sub not in self.instances:
                self.fail(path + ("rate",), f"{where} names unknown submodel '{sub}' "
                          f"(submodels: {', '.join(self.instances)})")
            if not inner.strip():
                self.fail(path + ("rate",), f"{where} is empty: it takes an expression over the places of '{sub}'")
            if any(n in ("count", "sum") and self._AGGREGATE.match(inner, e) for n, _s, e, _p in
                   scan_identifiers(inner)):
                self.fail(path + ("rate",), f"{where} holds another count or sum: they do not nest")
            before = text[:head.end()]
            line = rate.line + before.count("\n") if rate.line is not None else None
            column = rate.column + len(before) if "\n" not in before else len(before) - before.rfind("\n") - 1
            frag = Fragment(inner, line, column)
            atomic = self.instances[sub]
            self.places_in(atomic, frag, path + ("rate",))
            out.append(text[last:start])
            out.append(f"this->Aggregate{len(found)}()")
            last = close + 1
            found.append({"kind": name, "submodel": sub, "atomic": atomic, "term": frag})
        out.append(text[last:])
        return Fragment("".join(out), rate.line, rate.column), found

    def check_rate(self, reward, rate: Fragment, subs, path: tuple):
        rate, aggregates = self.aggregates(rate, path)
        deps = []
        for s in subs or []:
            if s not in self.instances:
                self.fail(path + ("submodels",), f"reward names unknown submodel '{s}' "
                          f"(submodels: {', '.join(self.instances)})", s)
            if s not in deps:
                deps.append(s)
        vardeps = []
        problems = []

        def access(sub: str, atomic: Atomic, name: str) -> str:
            if name not in self.formulas:
                if (name, sub) not in vardeps:
                    vardeps.append((name, sub))
                return self.reward_access(deps.index(sub), atomic, name)
            self.use_formula(atomic, name, path + ("rate",))
            places = self.formula_places(atomic, name)
            for sv in places:
                if (sv, sub) not in vardeps:
                    vardeps.append((sv, sub))
            args = ", ".join(self.reward_access(deps.index(sub), atomic, sv) for sv in places)
            return f"::{atomic.cls}::{formula_function(name)}({args})"

        known = ", ".join(self.instances)
        # Dotted references sub.place first.
        out = []
        last = 0
        text = rate.text
        for name, start, end, previous in scan_identifiers(text):
            if previous in (".", "->", "::"):
                continue
            m = re.match(r"\s*\.\s*([A-Za-z_][A-Za-z0-9_]*)", text[end:])
            if m and (name in self.instances or name not in self.globals):
                if name not in self.instances:
                    problems.append(f"reward names unknown submodel '{name}' (submodels: {known})")
                    continue
                atomic = self.instances[name]
                sv = m.group(1)
                if sv not in atomic.svnames and sv not in self.formulas:
                    problems.append(f"'{sv}' is no place of submodel '{name}' (its places: {', '.join(atomic.svnames)})")
                    continue
                if subs is not None and name not in deps:
                    problems.append(f"submodel '{name}' is not listed in 'submodels'")
                    continue
                if name not in deps:
                    deps.append(name)
                out.append(text[last:start])
                out.append(access(name, atomic, sv))
                last = end + m.end()
                continue
            if name in self.globals or name in self.constants:
                continue
            # A bare name: a place (or formula) of the one submodel named, or
            # of the one submodel that has such a place.
            if len(deps) == 1 or (subs is not None and len(subs) == 1):
                owners = [deps[0] if deps else subs[0]]
            elif deps or subs is not None:
                continue
            else:
                owners = [inst for inst, a in self.instances.items() if name in a.svnames]
                if not owners and name in self.formulas and len(self.instances) == 1:
                    owners = list(self.instances)
                if len(owners) > 1:
                    problems.append(f"place '{name}' belongs to several submodels ({', '.join(owners)}): "
                                    f"write one of {', '.join(o + '.' + name for o in owners)}")
                    continue
            if len(owners) != 1:
                continue
            only = owners[0]
            atomic = self.instances[only]
            if name in atomic.svnames or name in self.formulas:
                if only not in deps:
                    deps.append(only)
                out.append(text[last:start])
                out.append(access(only, atomic, name))
                last = end
        out.append(text[last:])
        if problems:
            self.fail(path + ("rate",), problems[0])
        if aggregates and deps:
            self.fail(path + ("rate",), "a rate with count(...) or sum(...) is evaluated once per state over the "
                      f"whole model: outside them it names no place (here of '{deps[0]}')")
        if not deps and not aggregates:
            self.fail(path + ("rate",), "the rate reward names no place of a submodel (write submodel.place; "
                      f"submodels: {known})")
        reward["rate"] = Fragment("".join(out), rate.line, rate.column)
        reward["deps"] = deps
        reward["vardeps"] = vardeps
        reward["aggregates"] = aggregates

    @staticmethod
    def reward_access(slot: int, atomic: Atomic, sv: str) -> str:
        """A place of the worker's model slot `slot`, reached through the
        slot's member so that no model name becomes a member of the worker."""
        if sv in atomic.places:
            return f"(*this->Slot{slot}->{sv}->Mark)"
        return f"(*this->Slot{slot}->{sv})"


# ---------------------------------------------------------------------------
# Output.


class Unit:
    """A generated file: lines, with #line directives that name the model file
    for fragments and the unit itself after them."""

    def __init__(self, name: str, model_path: str, line_name: str):
        self.name = name
        self.model_path = model_path
        self.line_name = line_name
        self.lines: list[str] = []

    def add(self, text: str = ""):
        self.lines.extend(text.split("\n"))

    def fragment(self, before: str, frag: Fragment, after: str, indent: str = "  ", bindings=()):
        """Emits before + fragment text + after, the fragment's lines mapped to
        the model file, after `bindings`: the block-scope declarations that
        give the fragment's names their meaning."""
        for line in bindings:
            self.add(indent + line)
        if frag.line is None:
            self.add(indent + before + frag.text + after)
            return
        # The text starts in the column it has in the model file, so that the
        # compiler's columns point into the model file's line.
        if before:
            self.lines.append(indent + before)
        self.lines.append(f'#line {frag.line} "{cpp_string(self.model_path)}"')
        body = frag.text.rstrip().split("\n")
        body[0] = " " * frag.column + body[0]
        self.lines.extend(body)
        self.lines.append(f'#line {len(self.lines) + 2} "{cpp_string(self.line_name)}"')
        if after:
            self.lines.append(indent + after)

    def text(self) -> str:
        return "\n".join(self.lines).rstrip("\n") + "\n"


def formula_function(name: str) -> str:
    return f"formula_{name}"


def cpp_string(s: str) -> str:
    return s.replace("\\", "\\\\").replace('"', '\\"')


def cpp_double(x: float) -> str:
    text = repr(float(x))
    return text if ("." in text or "e" in text or "n" in text) else text + ".0"


class Emitter:
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

    def emit(self):
        self.emit_study()
        for atomic in self.m.atomics.values():
            self.emit_atomic(atomic)
        for node in getattr(self.m, "node_order", []):
            if node.kind == "join":
                self.emit_join(node)
            else:
                self.emit_rep(node)
        self.emit_reward()
        self.emit_factory()
        return self.units

    def put(self, unit: Unit):
        self.units[unit.name] = unit.text()

    # -- study

    def emit_study(self):
        m = self.m
        cls = f"{m.name}_studyRangeStudy"
        guard = cls.upper() + "_H"
        h = self.unit(f"{cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n\n#include \"BaseStudyClass.h\"\n")
        h.add(f"// Global variables of the {m.name} model, in the study's variable order. They")
        h.add("// are zero until SetGVs loads an experiment; the model code reads them when")
        h.add("// it is built. Their namespace keeps their names apart from every other.")
        h.add(f"namespace {GLOBALS_NS} {{")
        for name, ctype in m.globals.items():
            h.add(f"extern {ctype} {name};")
        if m.constants:
            h.add("")
            h.add("// Constants of the model file, computed from the global variables as they")
            h.add("// stand at each use.")
            for name, frag in m.constants.items():
                h.add(f"inline auto {name}() {{")
                h.fragment("return (", Fragment(self.with_constants(frag.text), frag.line, frag.column), ");")
                h.add("}")
        h.add(f"}}  // namespace {GLOBALS_NS}\n")
        h.add(f"// Range study of {m.name}: {len(m.globals)} global variables over "
              f"{len(m.experiments)} experiments (numbered 0 to {len(m.experiments) - 1}).")
        h.add(f"class {cls} : public BaseStudyClass {{\n public:")
        h.add(f"  static constexpr int NumberOfGVs = {len(m.globals)};")
        h.add(f"  static constexpr int NumberOfExperiments = {len(m.experiments)};\n")
        if m.globals:
            h.add("  // Per-experiment values, one array per variable, NumExps entries each.")
        for name, ctype in m.globals.items():
            h.add(f"  {ctype}* {name}Values;")
        h.add(f"\n  {cls}();\n  ~{cls}() override;\n")
        h.add("  std::unique_ptr<PVModel> GetPVModel(bool expandTimePoints) override;")
        h.add("  void SetGVs(int experiment) override;")
        h.add("  void PrintGlobalValues(int experiment) override;")
        h.add("  void* GetGVValue(const char* name) override;")
        h.add("  void OverrideGVValue(const char* name, const void* value) override;")
        if m.globals:
            h.add("\n  // Each refills its variable's value array with the experiment table.")
        for name in m.globals:
            h.add(f"  void SetValues_{name}();")
        h.add("};\n\n#endif")
        self.put(h)

        c = self.unit(f"{cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{cls}.h"\n')
        c.add("#include <algorithm>\n#include <cstring>\n#include <iostream>\n#include <sstream>\n")
        c.add(f'#include "GenAssert.h"\n#include "{m.name}_rewardPVModel.h"\n')
        c.add(f"namespace {GLOBALS_NS} {{")
        for name, ctype in m.globals.items():
            c.add(f"{ctype} {name};")
        c.add(f"}}  // namespace {GLOBALS_NS}\n")
        c.add("namespace {\n")
        c.add(f"using Study = {cls};")
        n = len(m.experiments)
        c.add(f"constexpr int kExps = {n};\n")
        if m.globals:
            names = ", ".join(re.sub(r"[^\w.\- ]", "?", e) for e, _ in m.experiments)
            c.add(f"// The experiment table: {names}.")
            for name, ctype in m.globals.items():
                values = ", ".join(values[name] for _e, values in m.experiments)
                c.add(f"constexpr {ctype} k_{name}[kExps] = {{{values}}};")
            names = ", ".join(f'"{g}"' for g in m.globals)
            types = ", ".join(f'"{t}"' for t in m.globals.values())
            c.add(f"constexpr const char* kNames[Study::NumberOfGVs] = {{{names}}};")
            c.add(f"constexpr const char* kTypes[Study::NumberOfGVs] = {{{types}}};")
            c.add("constexpr std::size_t kSizes[Study::NumberOfGVs] = {"
                  + ", ".join(f"sizeof({t})" for t in m.globals.values()) + "};\n")
            c.add("// Address of each global variable, in variable order.\nvoid* variableAddress(int index) {")
            c.add("  switch (index) {")
            for i, name in enumerate(m.globals):
                c.add(f"    case {i}: return &::{GLOBALS_NS}::{name};")
            c.add("    default: return nullptr;\n  }\n}\n")
            c.add("template <typename T>\nT* newValueArray(const T (&table)[kExps]) {")
            c.add("  T* values = new T[kExps];\n  std::copy(table, table + kExps, values);\n  return values;\n}\n")
        c.add("}  // namespace\n")
        c.add(f"{cls}::{cls}() {{")
        c.add("  NumGVs = NumberOfGVs;\n  NumExps = NumberOfExperiments;")
        if m.globals:
            c.add("  GVNames = new char*[NumGVs];\n  GVTypes = new char*[NumGVs];")
            c.add("  for (int i = 0; i < NumGVs; i++) {\n    GVNames[i] = strdup(kNames[i]);\n"
                  "    GVTypes[i] = strdup(kTypes[i]);\n  }")
        for name in m.globals:
            c.add(f"  {name}Values = newValueArray(k_{name});")
        c.add('  SetDefaultTarvelRoot("c:/Tarvel-2.4/");\n}\n')
        c.add(f"{cls}::~{cls}() {{")
        for name in m.globals:
            c.add(f"  delete[] {name}Values;")
        c.add("}\n")
        c.add(f"std::unique_ptr<PVModel> {cls}::GetPVModel(bool expandTimePoints) {{")
        c.add("  // The new model is built from the global variables as they stand now.")
        c.add(f"  return std::make_unique<{m.name}_rewardPVModel>(expandTimePoints);\n}}\n")
        c.add(f"void {cls}::SetGVs(int e) {{")
        c.add("  // The driver validates the experiment number; an unchecked index would read")
        c.add("  // past the value arrays.")
        c.add(f'  GEN_ASSERT(e >= 0 && e < NumExps, "0 <= e && e < NumExps", "{cls}");')
        for name in m.globals:
            c.add(f"  ::{GLOBALS_NS}::{name} = {name}Values[e];")
        c.add("}\n")
        c.add(f"void {cls}::PrintGlobalValues(int e) {{")
        c.add("  if (NumGVs == 0) {\n    std::cout << \"There are no global variables.\\n\";\n    return;\n  }")
        if m.globals:
            c.add("  SetGVs(e);")
            c.add("  // A fresh stream gives the default formatting (six significant digits,")
            c.add("  // shortest form) whatever flags std::cout carries.")
            c.add("  std::ostringstream text;")
            c.add('  text << "The Global Variable values for experiment " << GetExpName(e) << " are:\\n";')
            for name, ctype in m.globals.items():
                g = f"::{GLOBALS_NS}::{name}"
                value = {"float": f"static_cast<double>({g})", "char": f"static_cast<int>({g})",
                         "bool": f"static_cast<int>({g})"}.get(ctype, g)
                c.add(f"  text << \"{name}\\t{ctype}\\t\" << {value} << '\\n';")
            c.add("  std::cout << text.str();")
        else:
            c.add("  (void)e;")
        c.add("}\n")
        c.add(f"void* {cls}::GetGVValue(const char* name) {{")
        if m.globals:
            c.add("  for (int i = 0; name && i < NumberOfGVs; i++)")
            c.add("    if (std::strcmp(name, kNames[i]) == 0) return variableAddress(i);")
        c.add(f'  std::cerr << "!! {cls}::GetGVValue: Global Variable " << (name ? name : "")')
        c.add('            << " does not exist.\\n";\n  return nullptr;\n}\n')
        c.add(f"void {cls}::OverrideGVValue(const char* name, const void* value) {{")
        if m.globals:
            c.add("  for (int i = 0; name && i < NumberOfGVs; i++) {")
            c.add("    if (std::strcmp(name, kNames[i]) != 0) continue;")
            c.add("    if (!value) return;")
            c.add("    // Copy exactly one value of the variable's own type.")
            c.add("    std::memcpy(variableAddress(i), value, kSizes[i]);\n    return;\n  }")
        else:
            c.add("  (void)value;")
        c.add(f'  std::cerr << "!! {cls}::OverrideGVValue: Global Variable "')
        c.add('            << (name ? name : "") << " does not exist.\\n";\n}')
        for name in m.globals:
            c.add(f"\nvoid {cls}::SetValues_{name}() {{ std::copy(k_{name}, k_{name} + kExps, {name}Values); }}")
        self.put(c)

    # -- atomic models

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

    def with_formulas(self, atomic: Atomic, frag: Fragment) -> Fragment:
        def call(name, *_):
            if name not in self.m.formulas:
                return None
            return f"::{atomic.cls}::{formula_function(name)}({', '.join(self.m.formula_places(atomic, name))})"

        return Fragment(substitute(frag.text, call), frag.line, frag.column)

    def activity_bindings(self, atomic: Atomic, act: Activity, text: str) -> list[str]:
        out = []
        for sv in names_used(text, atomic.svnames):
            k = act.uses.index(sv)
            if sv in atomic.places:
                out.append(f"short& {sv} = *this->Mark{k};")
            else:
                out.append(f"::{self.array_cls(atomic, sv)}& {sv} = *this->Array{k};")
        return out + self.global_bindings(text)

    def with_constants(self, text: str) -> str:
        """A constant's name stands for its value: the call of its function."""
        return substitute(text, lambda name, *_: f"{name}()" if name in self.m.constants else None)

    def emit_formulas(self, h: Unit, a: Atomic):
        """The formulas the atomic model uses: static member functions over the
        markings of the places they read (arrays by reference), in file order,
        so that each is defined before a later one calls it."""
        used = [name for name in self.m.formulas if name in a.formulas_used]
        if not used:
            return
        h.add("  // Formulas of the model file, over the markings they read.")
        for name in used:
            params = ", ".join(f"short {sv}" if sv in a.places else f"::{self.array_cls(a, sv)}& {sv}"
                               for sv in self.m.formula_places(a, name))
            frag = self.m.formulas[name]
            h.add(f"  static auto {formula_function(name)}({params}) {{")
            h.fragment("return (", self.with_formulas(a, frag), ");", "    ", bindings=self.global_bindings(frag.text))
            h.add("  }")
        h.add("")

    def array_cls(self, atomic: Atomic, name: str) -> str:
        return f"{atomic.cls}_{name}Array"

    def emit_atomic(self, a: Atomic):
        guard = a.cls.upper() + "_H"
        h = self.unit(f"{a.cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n")
        h.add("#include <memory>")
        if a.arrays:
            h.add("#include <vector>")
        h.add('\n#include "Activity.h"')
        if a.arrays:
            h.add('#include "BaseStructStateVariable.h"')
        h.add('#include "Place.h"\n#include "PostselectGroup.h"\n#include "SANModel.h"')
        # Formulas are defined in this header: those over globals or constants
        # need their declarations here.
        if any(self.global_bindings(self.m.formulas[f].text) for f in self.m.formulas if f in a.formulas_used):
            h.add(f'#include "{self.study_h}"')
        h.add("")
        for name, (size, _init) in a.arrays.items():
            acls = self.array_cls(a, name)
            h.add(f"// Array of {size} places; element i is the place named \"i\".")
            h.add(f"class {acls} : public BaseStructStateVariable {{\n public:")
            h.add(f"  static constexpr int Size = {size};")
            h.add(f"  {acls}(const char* name, short initialMarking);")
            h.add(f"  ~{acls}() override;")
            h.add("  // The marking of element i (checked index).")
            h.add("  short& operator[](int i);")
            h.add("  Place* element(int i);\n")
            h.add(" private:\n  std::vector<std::unique_ptr<Place>> elements_;\n};\n")
        h.add(f"// Atomic model \"{a.name}\".")
        h.add("//\n// State variables: " + ", ".join(f"{i} {n}" for i, n in enumerate(a.svnames)))
        h.add("// Activities:      " + ", ".join(f"{i} {act.name}" for i, act in enumerate(a.activities)))
        h.add("// Groups:          " + ", ".join(f"{i} {g['name']}" for i, g in enumerate(a.groups)))
        h.add(f"class {a.cls} : public SANModel {{\n public:")
        for act in a.activities:
            h.add(f"  // {act.name}: {act.kind}.")
            h.add(f"  class {act.cls} : public Activity {{\n   public:")
            # The places its expressions use, by index into its own list: the
            # model's names never become members of the activity's class.
            for k, sv in enumerate(act.uses):
                if sv in a.places:
                    h.add(f"    ::Place* Place{k} = nullptr;  // {sv}\n    short* Mark{k} = nullptr;")
                else:
                    h.add(f"    ::{self.array_cls(a, sv)}* Array{k} = nullptr;  // {sv}")
            if act.kind != "instantaneous":
                h.add("    std::unique_ptr<double[]> Parameters;")
            h.add(f"\n    {act.cls}();\n    ~{act.cls}() override;")
            for decl in ("bool Enabled()", "double Weight()", "double Rate()", "bool ReactivationPredicate()",
                         "bool ReactivationFunction()", "double SampleDistribution()",
                         "double* ReturnDistributionParameters()", "void Fire()", "int Rank()",
                         "void LinkVariables()"):
                h.add(f"    {decl} override;")
            if act.kind == "deterministic":
                h.add("    double DeterministicParamValue();")
            if act.kind == "erlang":
                h.add("    double ErlangParamM() override;")
            h.add("  };\n")
        self.emit_formulas(h, a)
        h.add("  // State variables (owned; created by the constructor, released by the destructor).")
        for name in a.places:
            h.add(f"  ::Place* {name} = nullptr;")
        for name in a.arrays:
            h.add(f"  ::{self.array_cls(a, name)}* {name} = nullptr;")
        h.add("\n  // Activities, in activity order.")
        for act in a.activities:
            h.add(f"  {act.cls} {act.name};")
        case_groups = [g for g in a.groups if g["cases"]]
        if case_groups:
            h.add("\n  // Case groups.")
            for g in case_groups:
                h.add(f"  ::PostselectGroup {g['name']};")
        h.add(f"\n  {a.cls}();\n  ~{a.cls}() override;\n")
        h.add("  void CustomInitialization();\n  void assignPlacesToActivitiesInst();")
        h.add("  void assignPlacesToActivitiesTimed();\n};\n\n#endif")
        self.put(h)

        c = self.unit(f"{a.cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{a.cls}.h"\n')
        c.add('#include <string>\n\n#include "Distributions.h"')
        if any(act.kind == "erlang" for act in a.activities) or a.arrays:
            c.add('#include "GenError.h"')
        if a.bounds:
            c.add('#include "ModelFault.h"')
        inits = list(a.places.values()) + [init for _size, init in a.arrays.values()]
        if any(self.m.globals.get(init) in ("int", "long") for init in inits) or \
                any(act.kind == "erlang" for act in a.activities):
            c.add('#include "ModelValueChecks.h"')
        c.add(f'#include "{self.study_h}"\n')
        c.add("// Markings are 16-bit: a change computed in int is converted back, which")
        c.add("// wraps modulo 2^16.")
        for name, (size, _init) in a.arrays.items():
            acls = self.array_cls(a, name)
            c.add(f"\n{acls}::{acls}(const char* name, short initialMarking) : BaseStructStateVariable(name, \"\") {{")
            c.add("  elements_.reserve(Size);\n  for (int i = 0; i < Size; i++) {")
            c.add("    elements_.push_back(std::make_unique<Place>(std::to_string(i).c_str(), initialMarking));")
            c.add("    fields.push_back(BaseStructStateVariable::field(ARRAY_SHORT, elements_.back().get()));\n  }\n}")
            c.add(f"{acls}::~{acls}() = default;")
            c.add(f"short& {acls}::operator[](int i) {{ return *element(i)->Mark; }}")
            c.add(f"Place* {acls}::element(int i) {{")
            c.add("  if (i < 0 || i >= Size)")
            c.add(f'    throw GenError("{a.name}: index " + std::to_string(i) + " outside array {name}[{size}]");')
            c.add("  return elements_[static_cast<std::size_t>(i)].get();\n}")
        for act in a.activities:
            self.emit_activity(c, a, act)
        self.emit_atomic_model(c, a)
        self.put(c)

    def emit_activity(self, c: Unit, a: Atomic, act: Activity):
        q = f"{a.cls}::{act.cls}"
        c.add("\n// " + "-" * 75 + f"\n// {act.name} ({act.kind})\n")
        params = {"instantaneous": "", "erlang": " : Parameters(new double[2])"}.get(act.kind, " : Parameters(new double[1])")
        c.add(f"{q}::{act.cls}(){params} {{")
        c.add(f'  ActivityInitialize("{act.name}", {act.group_id}, ::{DIST_CODE[act.kind]}, ::POLICY_DEFAULT, '
              f'{len(act.affects)}, {len(act.enables)}, {"true" if act.reactivation else "false"});\n}}')
        c.add(f"{q}::~{act.cls}() = default;\n")
        def fragment(before, frag, after):
            frag = self.with_formulas(a, frag)
            c.fragment(before, frag, after, bindings=self.activity_bindings(a, act, frag.text))

        c.add(f"bool {q}::Enabled() {{\n  this->PreviousEnabledFlag = this->EnabledFlag;")
        fragment("this->EnabledFlag = (", act.enabled, ");")
        c.add("  return this->EnabledFlag;\n}")
        c.add(f"double {q}::Weight() {{")
        fragment("return (", act.weight, ");")
        c.add("}")
        c.add(f"double {q}::Rate() {{")
        if act.kind in ("exponential", "erlang"):
            fragment("return (", act.rate, ");")
        else:
            c.add("  return 0;")
        c.add("}")
        c.add(f"bool {q}::ReactivationPredicate() {{")
        fragment("return (", act.reactivation_predicate, ");")
        c.add(f"}}\nbool {q}::ReactivationFunction() {{")
        fragment("return (", act.reactivation_function, ");")
        c.add("}")
        c.add(f"double {q}::SampleDistribution() {{")
        if act.kind == "exponential":
            c.add("  return ::TheDistribution->Exponential(Rate());")
        elif act.kind == "deterministic":
            fragment("return (", act.delay, ");")
        elif act.kind == "erlang":
            c.add("  return ::TheDistribution->Erlang(ErlangParamM(), ErlangParamM() / Rate());")
        else:
            c.add("  return 0;")
        c.add("}")
        c.add(f"double* {q}::ReturnDistributionParameters() {{")
        if act.kind == "exponential":
            c.add("  Parameters[0] = Rate();\n  return Parameters.get();")
        elif act.kind == "deterministic":
            c.add("  Parameters[0] = DeterministicParamValue();\n  return Parameters.get();")
        elif act.kind == "erlang":
            c.add("  Parameters[0] = ErlangParamM();\n  Parameters[1] = Rate();\n  return Parameters.get();")
        else:
            c.add("  return nullptr;")
        c.add("}")
        c.add(f"void {q}::Fire() {{")
        if act.effect.text.strip():
            fragment("", act.effect, "")
        self.emit_bounds_checks(c, a, act)
        c.add("}")
        c.add(f"int {q}::Rank() {{ return {act.rank if act.kind == 'instantaneous' else 1}; }}")
        c.add(f"void {q}::LinkVariables() {{")
        for k, sv in enumerate(act.uses):
            if sv in a.places:
                c.add(f"  Place{k}->registerAlias(&Mark{k});")
        c.add("}")
        if act.kind == "deterministic":
            c.add(f"double {q}::DeterministicParamValue() {{")
            fragment("return (", act.delay, ");")
            c.add("}")
        if act.kind == "erlang":
            c.add(f"double {q}::ErlangParamM() {{")
            fragment("return ::genCheckedPhases((", act.phases, f'), "{a.name}.{act.name}");')
            c.add("}")

    def emit_bounds_checks(self, c: Unit, a: Atomic, act: Activity):
        """After the effect: every bounded place the firing may change is
        still within its bounds, or the firing is a fault of the model."""
        label = f"activity '{act.base}'"
        if act.group["cases"]:
            label += f" (case {act.group['members'].index(act) + 1})"
        label += f" of atomic model '{a.name}'"
        for sv in act.checked:
            low, high = a.bounds[sv]
            lo, hi = self.bound_cpp(low, "::kNoLowerBound"), self.bound_cpp(high, "::kNoUpperBound")
            tests = " || ".join(t for t in (low is not None and f"v < {lo}", high is not None and f"v > {hi}") if t)
            k = act.uses.index(sv)
            if sv in a.places:
                c.add(f"  if (const int v = *this->Mark{k}; {tests})")
                c.add(f'    ::markingOutOfBounds("{label}", "{sv}", v, {lo}, {hi});')
            else:
                c.add(f"  for (int i = 0; i < ::{self.array_cls(a, sv)}::Size; i++)")
                c.add(f"    if (const int v = (*this->Array{k})[i]; {tests})")
                c.add(f'      ::markingOutOfBounds("{label}", "{sv}[" + std::to_string(i) + "]", v, {lo}, {hi});')

    def bound_cpp(self, bound: str | None, none: str) -> str:
        """A bound in C++: an integer, a global variable or a constant."""
        if bound is None:
            return none
        if bound in self.m.globals:
            return f"::{GLOBALS_NS}::{bound}"
        if bound in self.m.constants:
            return f"::{GLOBALS_NS}::{bound}()"
        return bound

    def emit_atomic_model(self, c: Unit, a: Atomic):
        # The model's names are members of this class beside the framework's:
        # the generated code reaches the former through this-> and the latter
        # qualified, so that neither hides the other.
        c.add("\n// " + "-" * 75 + "\n// The model\n")
        c.add(f"{a.cls}::{a.cls}() {{")
        case_groups = [g for g in a.groups if g["cases"]]
        if case_groups:
            c.add("  // Case groups, case 1 first.")
        for g in case_groups:
            c.add(f'  this->{g["name"]}.initialize({len(g["members"])}, "{g["name"]}");')
            for act in g["members"]:
                c.add(f"  this->{g['name']}.appendGroup(&this->{act.name});")
        c.add("\n  // State variables, with their initial markings (global variables as they stand now).")
        for name, init in a.places.items():
            c.add(f'  this->{name} = new ::Place("{name}", {self.initial_marking(a, name, init)});')
        for name, (_size, init) in a.arrays.items():
            c.add(f'  this->{name} = new ::{self.array_cls(a, name)}("{name}", {self.initial_marking(a, name, init)});')
        for name, (low, high) in a.bounds.items():
            init = a.places[name] if name in a.places else a.arrays[name][1]
            if all(x is None or x.lstrip("-").isdigit() for x in (init, low, high)):
                continue  # the compiler has checked it
            mark = f"*this->{name}->Mark" if name in a.places else f"(*this->{name})[0]"
            c.add(f'  ::checkInitialMarking("atomic model \'{a.name}\'", "{name}", {mark}, '
                  f'{self.bound_cpp(low, "::kNoLowerBound")}, {self.bound_cpp(high, "::kNoUpperBound")});')
        c.add(f"\n  ::BaseStateVariableClass* places[] = {{{', '.join('this->' + n for n in a.svnames)}}};")
        c.add(f"  ::Activity* activities[] = {{{', '.join('&this->' + x.name for x in a.activities)}}};")
        groups = ", ".join("&this->" + (g["name"] if g["cases"] else g["members"][0].name) for g in a.groups)
        c.add(f"  ::BaseGroupClass* groups[] = {{{groups}}};")
        c.add(f'  SANModel::initializeSANModelNow("{a.name}", {len(a.svnames)}, places, 0, nullptr, {len(a.activities)}, '
              f"activities, {len(a.groups)}, groups);\n")
        c.add(f"  {a.cls}::assignPlacesToActivitiesInst();\n  {a.cls}::assignPlacesToActivitiesTimed();\n")
        c.add("  // Arcs, in registration order.")
        for act in a.activities:
            for sv in act.affects:
                c.add(f"  SANModel::AddAffectArc(this->{sv}, &this->{act.name});")
        for act in a.activities:
            for sv in act.enables:
                c.add(f"  SANModel::AddEnableArc(this->{sv}, &this->{act.name});")
        c.add("\n  for (::Activity* activity : activities) activity->LinkVariables();\n}\n")
        c.add(f"{a.cls}::~{a.cls}() {{\n  for (int i = 0; i < {len(a.svnames)}; i++) delete SANModel::Places[i];\n}}\n")
        c.add(f"void {a.cls}::CustomInitialization() {{}}\n")
        for which, pick in (("Inst", lambda x: x.kind == "instantaneous"), ("Timed", lambda x: x.kind != "instantaneous")):
            acts = [x for x in a.activities if pick(x) and x.uses]
            c.add(f"// Sets the place pointers of the {'instantaneous' if which == 'Inst' else 'timed'} "
                  "activities from the Places array.")
            c.add(f"void {a.cls}::assignPlacesToActivities{which}() {{")
            for x in acts:
                for k, sv in enumerate(x.uses):
                    idx = a.svnames.index(sv)
                    if sv in a.places:
                        c.add(f"  this->{x.name}.Place{k} = static_cast<::Place*>(SANModel::Places[{idx}]);")
                    else:
                        t = self.array_cls(a, sv)
                        c.add(f"  this->{x.name}.Array{k} = static_cast<::{t}*>(SANModel::Places[{idx}]);")
            c.add("}\n")

    def initial_marking(self, a: Atomic, name: str, init: str) -> str:
        """The C++ of an initial marking: a literal, or a global variable as it
        stands, checked against the 16 bits of a marking when its type is wider."""
        if init in self.m.constants:
            return f"static_cast<short>(::{GLOBALS_NS}::{init}())"
        if init not in self.m.globals:
            return f"static_cast<short>({init})"
        g = f"::{GLOBALS_NS}::{init}"
        if self.m.globals[init] in ("char", "short"):
            return f"static_cast<short>({g})"
        where = cpp_string(f"{a.name}: the initial marking of {name}")
        return f'::genCheckedMarking({g}, "{init}", "{where}")'

    # -- composed models

    def child_info(self, c: dict):
        """(class, header, accessor of a shared place given an object expression)."""
        if c["model"] in self.m.atomics:
            a = self.m.atomics[c["model"]]
            return a.cls, f"{a.cls}.h", lambda obj, p: f"{obj}->{p}"
        n = self.m.nodes[c["model"]]
        return n.cls, f"{n.cls}.h", lambda obj, p: f"{obj}->{p}.get()"

    # As in the atomic models: the model's names (children, shared places) are
    # members reached through this->, the composer's own qualified.

    def emit_join(self, n: Node):
        guard = n.cls.upper() + "_H"
        h = self.unit(f"{n.cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n#include <vector>\n")
        headers = sorted({self.child_info(c)[1] for c in n.children})
        h.add('#include "Join.h"\n#include "Place.h"')
        for hd in headers:
            h.add(f'#include "{hd}"')
        h.add(f"\n// Names of the variables shared at the Join, in sharing order.\nextern const char* {n.cls}__SharedNames[];\n")
        h.add(f'// The composed model "{n.name}", a Join of ' + ", ".join(c["name"] for c in n.children) + ".")
        h.add(f"class {n.cls} : public Join {{\n public:")
        for c in n.children:
            cls = self.child_info(c)[0]
            if c["copies"] is None:
                h.add(f"  std::unique_ptr<::{cls}> {c['name']};")
            else:
                h.add(f"  std::vector<std::unique_ptr<::{cls}>> {c['name']};  // {c['copies'].shown} copies")
        for place, _ in n.shared:
            h.add(f"  std::unique_ptr<::Place> {place};  // shared place (null when no child has state)")
        h.add(f"\n  {n.cls}();\n  ~{n.cls}() override;\n}};\n\n#endif")
        self.put(h)

        c = self.unit(f"{n.cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{n.cls}.h"\n')
        c.add("#include <climits>\n")
        c.add('#include "GenError.h"')
        if any(ch["copies"] is not None and ch["copies"].checked for ch in n.children):
            c.add('#include "ModelValueChecks.h"')
        c.add(f'#include "{self.study_h}"\n')
        names = ", ".join(f'"{p}"' for p, _ in n.shared) or "nullptr"
        c.add(f"const char* {n.cls}__SharedNames[] = {{{names}}};\n")
        copies = [ch for ch in n.children if ch["copies"] is not None]
        c.add("namespace {\n")
        c.add("// The children, copies counted each: at most INT_MAX, the count the Join holds.")
        c.add("int childCount() {")
        fixed = len(n.children) - len(copies)
        c.add(f"  long long count = {fixed};")
        for ch in copies:
            k = ch["copies"]
            c.add(f"  if ({k.cpp} < 0)")
            c.add(f'    throw GenError("{n.name}: the number of copies of {ch["name"]} ({k.shown}) is negative");')
            if k.checked:
                c.add(f'  count += ::genCheckedCount({k.cpp}, "{k.shown}", "{n.name}: the number of copies of {ch["name"]}");')
            else:
                c.add(f"  count += {k.cpp};")
        if copies:
            c.add("  if (count > INT_MAX)")
            c.add(f'    throw GenError("Error: {n.name}: " + std::to_string(count) + " children, more than {MAX_INT}");')
        c.add("  return static_cast<int>(count);\n}\n\n}  // namespace\n")
        c.add(f'{n.cls}::{n.cls}() : Join("{n.name}", childCount(), {len(n.shared)}, {n.cls}__SharedNames) {{')
        c.add("  int next = 0;")
        for ch in n.children:
            cls = self.child_info(ch)[0]
            if ch["copies"] is None:
                c.add(f"  this->{ch['name']} = std::make_unique<::{cls}>();")
                c.add(f"  Join::Children[next++] = this->{ch['name']}.get();")
                c.add(f'  this->{ch["name"]}->BaseModelClass::DefineName("{ch["name"]}");')
            else:
                c.add(f"  for (int i = 0; i < {ch['copies'].cpp}; i++) {{")
                c.add(f"    this->{ch['name']}.push_back(std::make_unique<::{cls}>());")
                c.add(f"    Join::Children[next++] = this->{ch['name']}.back().get();\n  }}")
        c.add("\n  Join::SetupActions();")
        if n.shared:
            c.add("  if (Join::AllChildrenEmpty()) {\n    Join::NumSharedStateVariables = 0;\n  } else {")
            for place, members in n.shared:
                c.add(f'    this->{place} = std::make_unique<::Place>("{place}");')
                c.add(f'    Join::addSharedPtr(this->{place}.get(), "{place}");')
                for k in members:
                    ch = n.children[k]
                    acc = self.child_info(ch)[2]
                    if ch["copies"] is None:
                        obj = f"this->{ch['name']}"
                        pv = acc(obj, place)
                        c.add(f"    if ({obj}->BaseModelClass::NumStateVariables > 0) {{")
                        c.add(f"      this->{place}->ShareWith({pv});")
                        c.add(f"      Join::addSharingInfo({pv}, this->{place}.get(), {obj}.get());\n    }}")
                    else:
                        c.add(f"    for (auto& copy : this->{ch['name']}) {{")
                        c.add("      if (copy->BaseModelClass::NumStateVariables == 0) continue;")
                        c.add(f"      this->{place}->ShareWith({acc('copy', place)});")
                        c.add(f"      Join::addSharingInfo({acc('copy', place)}, this->{place}.get(), copy.get());\n    }}")
            c.add("  }")
        c.add("  Join::Setup();\n}\n")
        c.add("// The shared places go first (they hold the cells), then the children.")
        c.add(f"{n.cls}::~{n.cls}() {{")
        for place, _ in n.shared:
            c.add(f"  this->{place}.reset();")
        for ch in n.children:
            c.add(f"  this->{ch['name']}." + ("reset();" if ch["copies"] is None else "clear();"))
        c.add("}")
        self.put(c)

    def emit_rep(self, n: Node):
        ch = n.children[0]
        cls, header, acc = self.child_info(ch)
        guard = n.cls.upper() + "_H"
        h = self.unit(f"{n.cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n#include <vector>\n")
        h.add(f'#include "Place.h"\n#include "Rep.h"\n#include "{header}"\n')
        h.add(f"// Names of the variables shared by all copies, in sharing order.\nextern const char* {n.cls}__SharedNames[];\n")
        h.add(f'// "{n.name}": {n.count.shown} copies of {ch["model"]}'
              + (", all sharing " + ", ".join(p for p, _ in n.shared) if n.shared else "") + ".")
        h.add(f"class {n.cls} : public Rep {{\n public:")
        h.add("  // The copies, in index order; the same objects fill the Rep's child array.")
        h.add(f"  std::vector<std::unique_ptr<::{cls}>> InstanceArray;")
        for place, _ in n.shared:
            h.add(f"  std::unique_ptr<::Place> {place};  // shared place (null with zero copies)")
        h.add(f"\n  {n.cls}();\n  ~{n.cls}() override;\n}};\n\n#endif")
        self.put(h)

        c = self.unit(f"{n.cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{n.cls}.h"\n')
        if n.count.checked:
            c.add('#include "ModelValueChecks.h"')
        c.add(f'#include "{self.study_h}"\n')
        names = ", ".join(f'"{p}"' for p, _ in n.shared) or "nullptr"
        c.add(f"const char* {n.cls}__SharedNames[] = {{{names}}};\n")
        count = n.count.cpp
        if n.count.checked:
            count = f'::genCheckedCount({count}, "{n.count.shown}", "{n.name}: the count")'
        c.add(f'{n.cls}::{n.cls}() : Rep("{n.name}", {count}, {len(n.shared)}, {n.cls}__SharedNames) {{')
        c.add(f"  // The copies, in index order (the count is {n.count.shown} as it stands now).")
        c.add("  this->InstanceArray.reserve(Rep::NumChildren);\n  for (int i = 0; i < Rep::NumChildren; i++) {")
        c.add(f"    this->InstanceArray.push_back(std::make_unique<::{cls}>());")
        c.add("    Rep::Children[i] = this->InstanceArray[i].get();\n  }")
        c.add("  Rep::SetupActions();\n  if (Rep::NumChildren == 0) return;  // no copies: no sharing, no state\n")
        if n.shared:
            c.add("  if (Rep::AllChildrenEmpty()) {\n    Rep::NumSharedStateVariables = 0;\n  } else {")
            c.add(f"    ::{cls}& first = *this->InstanceArray[0];\n")
            c.add("    // The shared places take copy 0's initial markings.")
            for place, _ in n.shared:
                c.add(f'    this->{place} = std::make_unique<::Place>("{place}");')
                c.add(f'    Rep::addSharedPtr(this->{place}.get(), "{place}");')
                c.add(f"    this->{place}->ShareWith({acc('(&first)', place)});\n")
            for place, _ in n.shared:
                c.add(f"    for (auto& copy : this->InstanceArray) Rep::addSharingInfo({acc('copy', place)}, this->{place}.get(), nullptr);")
            c.add("\n    // Every further copy's places follow copy 0's (that is, the shared) cell.")
            c.add("    for (int i = 1; i < Rep::NumChildren; i++) {")
            for place, _ in n.shared:
                c.add(f"      {acc('(&first)', place)}->ShareWith({acc('this->InstanceArray[i]', place)});")
            c.add("    }\n  }")
        c.add(f'  Rep::Setup("{ch["model"]}");\n}}\n')
        c.add("// The shared places go first (they hold the cells), then the copies.")
        c.add(f"{n.cls}::~{n.cls}() {{")
        for place, _ in n.shared:
            c.add(f"  this->{place}.reset();")
        c.add("  this->InstanceArray.clear();\n}")
        self.put(c)

    # -- reward model

    def root_cls(self) -> str:
        return self.m.root.cls

    def root_header(self) -> str:
        return f"{self.m.root.cls}.h"

    def emit_reward(self):
        m = self.m
        base = f"{m.name}_reward"
        h = self.unit(f"{base}PVModel.h")
        guard = f"{base}PVModel".upper() + "_H"
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include \"PVModel.h\"\n")
        h.add(f"// Reward model of {m.name}: the composed model ({self.root_cls()}) with its reward variables.")
        h.add(f"class {base}PVModel : public PVModel {{\n public:")
        h.add(f"  static constexpr int NumRewardVariables = {len(m.rewards)};\n")
        h.add("  // expandTimePoints: one node per time point (true) or per variable (false).")
        h.add(f"  explicit {base}PVModel(bool expandTimePoints);\n  ~{base}PVModel() override;\n")
        h.add("  // A new node of reward variable pvIndex at time point timeIndex; null for")
        h.add("  // an index that names no reward variable.")
        h.add("  PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) override;\n};\n\n#endif")
        self.put(h)

        c = self.unit(f"{base}PVModel.cpp")
        c.add(self.banner)
        c.add(f'#include "{base}PVModel.h"\n\n#include "{self.root_header()}"\n#include "{base}PVNodes.h"\n')
        c.add(f"{base}PVModel::{base}PVModel(bool expandTimePoints) {{")
        c.add(f"  TheModel = new {self.root_cls()}();")
        c.add(f'  DefineName("{base}PVModel");')
        c.add("  CreatePVList(NumRewardVariables, expandTimePoints);\n  Initialize();\n}\n")
        c.add(f"{base}PVModel::~{base}PVModel() = default;\n")
        c.add(f"PerformanceVariableNode* {base}PVModel::createPVNode(int pvIndex, int timeIndex) {{")
        if m.rewards:
            c.add("  switch (pvIndex) {")
            for i in range(len(m.rewards)):
                c.add(f"    case {i}: return new {base}PV{i}(timeIndex);")
            c.add("    default: return nullptr;\n  }\n}")
        else:
            c.add("  (void)pvIndex;\n  (void)timeIndex;\n  return nullptr;\n}")
        self.put(c)

        h = self.unit(f"{base}PVNodes.h")
        guard = f"{base}PVNodes".upper() + "_H"
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n#include <vector>\n")
        h.add('#include "ImpulseNodeClass.h"\n#include "InstantOfTime.h"\n#include "PerformanceVariableNode.h"')
        for a in sorted({x.cls for x in m.atomics.values()}):
            h.add(f'#include "{a}.h"')
        h.add("")
        for i, r in enumerate(m.rewards):
            if r["aggregates"]:
                self.emit_whole_model_worker(h, i, r)
            elif r["rate"] is not None:
                h.add(f'// Worker of "{r["name"]}": one per combination of the instances of '
                      + ", ".join(r["deps"]) + "; the node sums them.")
                h.add(f"class {base}PV{i}Worker : public InstantOfTime {{\n public:")
                for k, d in enumerate(r["deps"]):
                    h.add(f"  ::{m.instances[d].cls}* Slot{k} = nullptr;  // {d}")
                h.add(f"\n  {base}PV{i}Worker();\n  ~{base}PV{i}Worker() override;\n")
                h.add("  double Reward_Function() override;\n};\n")
            for k, imp in enumerate(r["impulses"]):
                icls = f"{base}PV{i}Impulse{k}"
                h.add(f'// Impulse of "{r["name"]}" earned when {imp["submodel"]}.{imp["activity"].name} fires.')
                h.add(f"class {icls} : public ImpulseNodeClass {{\n public:")
                h.add(f"  {imp['atomic'].cls}* instance = nullptr;  // model slot of the impulse's own model\n")
                h.add(f"  {icls}();")
                h.add("  double Impulse_Function() override;\n  void Accumulate(double) override {}")
                h.add("  void ResetAccumulation() override {}\n  void EvaluateImpulse() override;")
                h.add("  bool IsActiveAt(double) override { return true; }")
                h.add("  ImpulseNodeClass** CreateImpulseWorkers(int count) override;\n};\n")
            h.add(f'// Reward variable "{r["name"]}": {self.reward_description(r)}.')
            h.add(f"class {base}PV{i} : public PerformanceVariableNode {{\n public:")
            h.add("  BaseModelClass* TheModelPtr = nullptr;  // the composed model, set by FixReferences")
            for k, imp in enumerate(r["impulses"]):
                h.add(f"  {base}PV{i}Impulse{k} impulse{k};  // prototype")
            h.add(f"\n  explicit {base}PV{i}(int timeIndex);\n  ~{base}PV{i}() override;\n")
            h.add("  void CreateWorkerList() override;\n};\n")
        h.add("#endif")
        self.put(h)

        c = self.unit(f"{base}PVNodes.cpp")
        c.add(self.banner)
        if any(r["aggregates"] for r in m.rewards):
            c.add(f'#include "{base}PVNodes.h"\n\n#include "GenError.h"\n#include "List.h"\n#include "{self.study_h}"\n')
        else:
            c.add(f'#include "{base}PVNodes.h"\n\n#include "{self.study_h}"\n')
        for i, r in enumerate(m.rewards):
            c.add("// " + "-" * 75 + f"\n// {r['name']}\n")
            # An instant has one list for its starts and stops; a steady-state
            # variable has no times at all (a C++ array cannot be empty).
            starts, stops = f"kTimes{i}", f"kTimes{i}"
            if r["kind"] == "instant":
                c.add("namespace {\n")
                c.add(f"constexpr double kTimes{i}[{len(r['starts'])}] = {{{self.doubles(r['starts'])}}};\n")
                c.add("}  // namespace\n")
            elif r["starts"]:
                starts, stops = f"kStarts{i}", f"kStops{i}"
                c.add("namespace {\n")
                c.add(f"constexpr double kStarts{i}[{len(r['starts'])}] = {{{self.doubles(r['starts'])}}};")
                c.add(f"constexpr double kStops{i}[{len(r['stops'])}] = {{{self.doubles(r['stops'])}}};\n")
                c.add("}  // namespace\n")
            else:
                starts, stops = "nullptr", "nullptr"
            if r["aggregates"]:
                self.emit_whole_model_reward(c, i, r)
            elif r["rate"] is not None:
                w = f"{base}PV{i}Worker"
                slots = ", ".join(f"&Slot{k}" for k in range(len(r["deps"])))
                c.add(f"{w}::{w}() {{ BindModelSlots({slots}); }}\n")
                c.add(f"{w}::~{w}() = default;\n")
                c.add(f"double {w}::Reward_Function() {{")
                c.fragment("return (", r["rate"], ");", bindings=self.global_bindings(r["rate"].text))
                c.add("}\n")
            for k, imp in enumerate(r["impulses"]):
                icls = f"{base}PV{i}Impulse{k}"
                a = imp["atomic"]
                def marking(nm, a=a):
                    if nm in a.places:
                        return f"(*static_cast<::{a.cls}*>(this->Model)->{nm}->Mark)"
                    if nm in a.arrays:
                        return f"(*static_cast<::{a.cls}*>(this->Model)->{nm})"
                    if nm in self.m.formulas:
                        args = ", ".join(marking(sv) for sv in self.m.formula_places(a, nm))
                        return f"::{a.cls}::{formula_function(nm)}({args})"
                    return None

                value = substitute(imp["value"].text, lambda nm, *_: marking(nm))
                c.add(f"{icls}::{icls}() : ImpulseNodeClass(1) {{ BindModelSlots(&instance); }}")
                c.add(f"double {icls}::Impulse_Function() {{")
                c.fragment("return (", Fragment(value, imp["value"].line, imp["value"].column), ");",
                           bindings=self.global_bindings(imp["value"].text))
                c.add("}")
                c.add(f"void {icls}::EvaluateImpulse() {{\n  Value = Impulse_Function();\n  ValueSquared = Value * Value;\n}}")
                c.add(f"ImpulseNodeClass** {icls}::CreateImpulseWorkers(int count) {{")
                c.add("  auto** workers = new ImpulseNodeClass*[static_cast<std::size_t>(count)];")
                c.add(f"  for (int k = 0; k < count; k++) workers[k] = new {icls}();\n  return workers;\n}}\n")
            node = f"{base}PV{i}"
            c.add(f"{node}::{node}(int timeIndex) {{")
            c.add("  TopModelRef = &TheModelPtr;")
            n_models = len(r["deps"])
            c.add(f'  Initialize("{r["name"]}", {REWARD_KINDS[r["kind"]][0]}, {len(r["starts"])}, {starts}, {stops}, '
                  'timeIndex, '
                  f'{len(r["impulses"])}, {n_models}, {len(r["vardeps"])});')
            for sv, sub in r["vardeps"]:
                c.add(f'  AddVariableDependency("{sv}", "{sub}");')
            for d in r["deps"]:
                if not any(sub == d for _sv, sub in r["vardeps"]):
                    c.add(f'  AddModelDependency("{d}");')
            if r["aggregates"]:
                c.add("  EvaluateOverWholeModel();")
            for k, imp in enumerate(r["impulses"]):
                c.add(f'  AddImpulse("{imp["activity"].name}", "{imp["submodel"]}", &impulse{k});')
            c.add("}\n")
            c.add("// Workers are created here, so they are deleted here; the base releases the")
            c.add("// Workers array and everything else.")
            c.add(f"{node}::~{node}() {{")
            c.add("  for (int i = 0; i < NumWorkers; i++) {\n    delete Workers[i];\n    Workers[i] = nullptr;\n  }\n}\n")
            c.add(f"void {node}::CreateWorkerList() {{")
            if r["aggregates"]:
                c.add(f"  for (int i = 0; i < NumWorkers; i++) {{\n    auto* worker = new {base}PV{i}Worker();")
                c.add("    Workers[i] = worker;\n    worker->BindInstances(TheModelPtr);\n  }")
            elif r["rate"] is not None:
                c.add(f"  for (int i = 0; i < NumWorkers; i++) Workers[i] = new {base}PV{i}Worker();")
            c.add("}\n")
        self.put(c)

    def emit_whole_model_worker(self, h: Unit, i: int, r: dict):
        w = f"{self.m.name}_rewardPV{i}Worker"
        h.add(f'// Worker of "{r["name"]}": the only one, evaluated once per state over the whole')
        h.add("// composed model; Aggregate k counts or sums Term k over the instances of its")
        h.add("// submodel, each in turn in Current k.")
        h.add(f"class {w} : public InstantOfTime {{\n public:")
        for k, agg in enumerate(r["aggregates"]):
            cls = agg["atomic"].cls
            h.add(f"  std::vector<::{cls}*> Instances{k};  // {agg['submodel']}")
            h.add(f"  ::{cls}* Current{k} = nullptr;")
        h.add(f"\n  {w}();\n  ~{w}() override;\n")
        h.add("  // Finds the instances under the composed model.")
        h.add("  void BindInstances(BaseModelClass* root);")
        h.add("  double Reward_Function() override;")
        for k, agg in enumerate(r["aggregates"]):
            if agg["kind"] == "count":
                h.add(f"  int Aggregate{k}();\n  bool Term{k}();")
            else:
                h.add(f"  double Aggregate{k}();\n  double Term{k}();")
        h.add("};\n")

    def emit_whole_model_reward(self, c: Unit, i: int, r: dict):
        w = f"{self.m.name}_rewardPV{i}Worker"
        c.add(f"{w}::{w}() = default;\n")
        c.add(f"{w}::~{w}() = default;\n")
        c.add(f"void {w}::BindInstances(BaseModelClass* root) {{\n  List<BaseModelClass> found;")
        for k, agg in enumerate(r["aggregates"]):
            cls = agg["atomic"].cls
            c.add(f'  found.clearList();\n  root->listModels("{agg["submodel"]}", &found);')
            c.add("  for (int k = 0; k < found.getNumItems(); k++) {")
            c.add(f"    auto* instance = dynamic_cast<::{cls}*>(found[k]);")
            c.add("    if (instance == nullptr)")
            c.add(f'      throw GenError("Reward variable {r["name"]}: model {agg["submodel"]} is not of the class '
                  'its reward function expects.");')
            c.add(f"    Instances{k}.push_back(instance);\n  }}")
        c.add("}\n")
        c.add(f"double {w}::Reward_Function() {{")
        c.fragment("return (", r["rate"], ");", bindings=self.global_bindings(r["rate"].text))
        c.add("}\n")
        for k, agg in enumerate(r["aggregates"]):
            a = agg["atomic"]
            count = agg["kind"] == "count"
            c.add(f"{'int' if count else 'double'} {w}::Aggregate{k}() {{")
            c.add(f"  {'int' if count else 'double'} total = {'0' if count else '0.0'};")
            c.add(f"  for (::{a.cls}* instance : Instances{k}) {{\n    Current{k} = instance;")
            c.add(f"    {'if (Term' + str(k) + '()) total++;' if count else 'total += Term' + str(k) + '();'}")
            c.add("  }\n  return total;\n}\n")

            def marking(nm, k=k, a=a):
                if nm in a.places:
                    return f"(*this->Current{k}->{nm}->Mark)"
                if nm in a.arrays:
                    return f"(*this->Current{k}->{nm})"
                if nm in self.m.formulas:
                    args = ", ".join(marking(sv) for sv in self.m.formula_places(a, nm))
                    return f"::{a.cls}::{formula_function(nm)}({args})"
                return None

            term = agg["term"]
            c.add(f"{'bool' if count else 'double'} {w}::Term{k}() {{")
            c.fragment("return (", Fragment(substitute(term.text, lambda nm, *_: marking(nm)), term.line, term.column),
                       ");", bindings=self.global_bindings(term.text))
            c.add("}\n")

    @staticmethod
    def doubles(values) -> str:
        return ", ".join(cpp_double(t) for t in values)

    @staticmethod
    def reward_description(r) -> str:
        what = REWARD_KINDS[r["kind"]][1]
        if r["kind"] == "instant":
            return f"{what} at " + ", ".join(cpp_double(t) for t in r["starts"])
        if r["kind"] == "steady_state":
            return what
        return f"{what} over " + ", ".join(f"[{cpp_double(a)}, {cpp_double(b)}]" for a, b in zip(r["starts"], r["stops"]))

    def emit_factory(self):
        m = self.m
        c = self.unit(f"{m.name}_Factory.cpp")
        c.add(self.banner)
        c.add("#include <iterator>\n#include <memory>\n\n#include \"ModelFactory.h\"")
        c.add(f'#include "{m.name}_rewardPVModel.h"\n#include "{self.study_h}"\n')
        c.add("namespace {\n")
        c.add(f"class {m.name}_Factory final : public ModelFactory {{\n public:")
        c.add(f'  std::string_view name() const override {{ return "{m.name}"; }}')
        c.add(f"  int numberOfExperiments() const override {{ return {m.name}_studyRangeStudy::NumberOfExperiments; }}")
        names = ", ".join(f'"{cpp_string(e)}"' for e, _ in m.experiments)
        c.add("  std::string_view experimentName(int experiment) const override {")
        c.add(f"    static constexpr std::string_view kNames[] = {{{names}}};")
        c.add("    return experiment >= 0 && experiment < static_cast<int>(std::size(kNames)) ? kNames[experiment] : \"\";")
        c.add("  }")
        c.add("  std::unique_ptr<BaseStudyClass> makeStudy() const override {")
        c.add(f"    return std::make_unique<{m.name}_studyRangeStudy>();\n  }}")
        c.add("  std::unique_ptr<PVModel> makeRewardModel(bool expandTimePoints) const override {")
        c.add(f"    return std::make_unique<{m.name}_rewardPVModel>(expandTimePoints);\n  }}\n}};\n")
        c.add("}  // namespace\n")
        c.add(f"std::unique_ptr<ModelFactory> makeModelFactory() {{ return std::make_unique<{m.name}_Factory>(); }}")
        self.put(c)


# ---------------------------------------------------------------------------


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
