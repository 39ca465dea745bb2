"""C++ fragments of the model file: a place's name stands for its marking, an
array's name for the array whose elements are indexed markings."""

from __future__ import annotations

import re

TOKEN = re.compile(
    r'(?P<skip>"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'|//[^\n]*|/\*.*?\*/)'
    r"|(?P<num>\.?[0-9](?:[eE][+-]|[A-Za-z0-9_.'])*)"
    r"|(?P<id>[A-Za-z_][A-Za-z0-9_]*)"
    r"|(?P<other>->|::|.)",
    re.S,
)


def scan_identifiers(text: str):
    """Yields (identifier, start, end, previous significant token)."""
    previous = ""
    for m in TOKEN.finditer(text):
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
    for last in TOKEN.finditer(text):
        pass
    return last is not None and (last.group("skip") or "").startswith("//")


def bracket_problem(text: str) -> str | None:
    """What is wrong with the brackets of a C++ fragment, or None: a fragment
    must close what it opens and close nothing it did not open, or it would
    end the function it is compiled in."""
    pairs = {")": "(", "]": "[", "}": "{"}
    stack = []
    for m in TOKEN.finditer(text):
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
    for m in TOKEN.finditer(text):
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
