"""The checked model's pieces, the limits a model file must keep within, and
the error every check raises."""

from __future__ import annotations

import re

GLOBAL_TYPES = ("bool", "char", "short", "int", "long", "float", "double")
INTEGER_TYPES = ("char", "short", "int", "long")
KINDS = ("exponential", "deterministic", "instantaneous", "erlang")
# Reward kinds: the framework's RewardType of each, and how its variable is
# described in the generated code.
REWARD_KINDS = {
    "instant": ("Instant_Of_Time", "instant of time"),
    "interval": ("Interval_Of_Time", "interval of time"),
    "time_averaged": ("Time_Averaged_Interval_Of_Time", "time-averaged interval of time"),
    "steady_state": ("Steady_State", "steady state"),
    "reached": ("Reached_By_Time", "reached by time"),
    "first_passage": ("First_Passage", "first passage"),
    # The condition of a first passage, a variable of its own right after it;
    # no model file names this kind.
    "until": ("Until_Condition", "condition of a first passage"),
}
MAX_INT = 2**31 - 1
FLOAT_MAX = 3.4028234663852886e38
MAX_PHASES = 32767  # the activity counts its phase in a short
MAX_DEPTH = 50  # levels of joins and reps below the root; of TOML arrays and tables
NAME_MAX = 255  # bytes of a unit's file name


class ModelError(Exception):
    def __init__(self, line: int | None, field: str, message: str):
        super().__init__(message)
        self.line = line
        self.field = field
        self.message = message


class Fragment:
    """A C++ expression or statement list from the model file."""

    def __init__(self, text: str, line: int | None, column: int = 0):
        self.text = text
        self.line = line
        self.column = column  # of the text's first character in its line, from 0


class Activity:
    pass


class Count:
    """A count of copies or replicas: its C++, its text for messages and
    comments, and whether its type may exceed an int."""

    def __init__(self, cpp: str, shown: str, checked: bool):
        self.cpp = cpp
        self.shown = shown
        self.checked = checked


def literal_number(value) -> float | None:
    """The number a field gives literally (a TOML number or a string holding
    only one), or None for an expression."""
    if isinstance(value, bool):
        return None
    if isinstance(value, (int, float)):
        return float(value)
    if isinstance(value, str):
        text = value.strip()
        if re.fullmatch(r"[+-]?(\d+\.?\d*([eE][+-]?\d+)?|\.\d+([eE][+-]?\d+)?|nan|inf|NAN|INFINITY)", text):
            return float(text.replace("INFINITY", "inf").replace("NAN", "nan"))
    return None


def toml_text(value) -> str:
    """A value as the model file spells it, for messages."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, str):
        return repr(value)
    if isinstance(value, list):
        return "an array"
    if isinstance(value, dict):
        return "a table"
    return repr(value)


class Atomic:
    pass


class Node:
    pass
