"""What every check uses: the fields of the model file read with their types,
and the failures that name a field as the user wrote it."""

from __future__ import annotations

import json
import re

from ..cpp import TOKEN, bracket_problem, text_problem
from ..model import Fragment, ModelError
from ..names import IDENT, reserved_reason
from ..tomlmap import LineMap


class FieldChecks:
    """Reads fields and reports what is wrong with them; the other checks are
    parts of the one Checker built on it."""

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

    # -- arithmetic

    _INTEGER = re.compile(r"(?:0[xX][0-9A-Fa-f']+|0[bB][01']+|[0-9][0-9']*)[uUlL]*\Z")

    def refuse_integer_division(self, frag, path: tuple):
        """`1/60` in C++ is integer division (0): refused, with the fix."""
        if frag is None:
            return
        tokens = []
        for m in TOKEN.finditer(frag.text):
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
