"""Names: which a model may give to what it declares, and the ones the
generated code keeps for itself."""

from __future__ import annotations

import os
import re

IDENT = re.compile(r"[A-Za-z_][A-Za-z0-9_]*\Z")
# The namespace of the model's global variables: a global's name then never
# meets a C library function's (a variable named `open` would replace the
# function for the whole program).
GLOBALS_NS = "model_globals"


def _reserved_names() -> dict[str, str]:
    """Name -> reason, from reserved_names.txt beside this file."""
    reasons = {"keyword": "a C++ keyword", "macro": "a macro of the C or C++ library headers"}
    out: dict[str, str] = {}
    section = None
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "reserved_names.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line.startswith("[") and line.endswith("]"):
                section = reasons[line[1:-1]]
            elif line:
                for word in line.split():
                    out.setdefault(word, section)
    return out


RESERVED = _reserved_names()


def reserved_reason(name: str) -> str | None:
    """Why `name` cannot name anything in the generated C++, or None."""
    if name in RESERVED:
        return f"it is {RESERVED[name]}"
    if name.startswith("_") or "__" in name:
        return "names with a leading underscore or a double underscore are reserved in C++"
    if re.fullmatch(r"SYS_\w+", name) or re.fullmatch(r"[A-Z0-9_]+_H", name):
        return "it has the form of a macro of the library headers (SYS_... or an include guard NAME_H)"
    if name in ("GEN_ASSERT", GLOBALS_NS):
        return "the generated code uses it for itself"
    return None


def formula_function(name: str) -> str:
    """The static member function a formula becomes in each atomic model
    that uses it; rate rewards call it too."""
    return f"formula_{name}"
