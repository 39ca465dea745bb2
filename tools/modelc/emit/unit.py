"""A generated unit's text, and the C++ spelling of strings and numbers."""

from __future__ import annotations

from ..model import Fragment


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


def cpp_string(s: str) -> str:
    return s.replace("\\", "\\\\").replace('"', '\\"')


def cpp_double(x: float) -> str:
    text = repr(float(x))
    return text if ("." in text or "e" in text or "n" in text) else text + ".0"
