"""Lines of fields. tomllib gives values without positions, so the text is
scanned once for table headers and keys; a field's path is the list of
table names and array-of-table indices leading to it, e.g.
("atomic", 0, "activity", 2, "rate")."""

from __future__ import annotations

import json
import re

from .model import MAX_DEPTH

_HEADER = re.compile(r"^\s*(\[\[?)\s*([^\]]+?)\s*\]\]?\s*(#.*)?$")
_KEY = re.compile(r'^\s*([A-Za-z0-9_\-]+|"(?:\\.|[^"\\])*"|\'[^\']*\')\s*=')


def _split_dotted(key: str, escapes: bool = False) -> list[str]:
    def unquoted(part: str) -> str:
        part = part.strip()
        if escapes and len(part) >= 2 and part[0] == part[-1] == '"':
            try:
                return json.loads(part)  # the escapes of a basic string, as TOML reads them
            except ValueError:
                pass
        return part.strip('"').strip("'")

    # Dots inside a quoted part ("../x") belong to the name.
    parts = re.findall(r'\s*(?:"(?:\\.|[^"\\])*"|\'[^\']*\')\s*|[^.]+', key)
    return [unquoted(part) for part in parts if part.strip()]


def scan_toml(text: str):
    """One pass over the TOML text that knows its strings and comments.
    Returns, per line (from 1), the string delimiter the line starts inside
    (None outside a multi-line string) and the delimiter it ends inside; and
    the first line where arrays and inline tables nest deeper than MAX_DEPTH,
    or None."""
    starts, ends = [None], [None]
    state = None  # None, '"""' or "'''"
    depth = 0
    too_deep = None
    for number, raw in enumerate(text.split("\n"), start=1):
        starts.append(state)
        i = 0
        while i < len(raw):
            if state is not None:
                if state == '"""' and raw[i] == "\\":
                    i += 2
                    continue
                if raw.startswith(state, i):
                    # Up to two further quotes still belong to the string.
                    i += 3
                    while i < len(raw) and raw[i] == state[0] and raw.startswith(state, i - 2):
                        i += 1
                    state = None
                    continue
                i += 1
                continue
            ch = raw[i]
            if ch == "#":
                break
            if raw.startswith('"""', i) or raw.startswith("'''", i):
                state = raw[i:i + 3]
                i += 3
                continue
            if ch in "\"'":
                j = i + 1
                while j < len(raw) and raw[j] != ch:
                    j += 2 if ch == '"' and raw[j] == "\\" else 1
                i = j + 1
                continue
            if ch in "[{":
                depth += 1
                if depth > MAX_DEPTH and too_deep is None:
                    too_deep = number
            elif ch in "]}":
                depth -= 1
            i += 1
        ends.append(state)
    return starts, ends, too_deep


class LineMap:
    def __init__(self, text: str):
        self.lines = text.splitlines()
        self.where: dict[tuple, int] = {}
        self.columns: dict[tuple, int] = {}  # where a string value's text starts in its line
        self.escaped: dict[tuple, int] = {}  # keys with their escapes read, as TOML reads them
        counters: dict[tuple, int] = {}
        table: tuple = ()
        starts, ends, _ = scan_toml(text)
        for number, raw in enumerate(self.lines, start=1):
            if starts[number] is not None:
                continue
            header = _HEADER.match(raw)
            if header and not _KEY.match(raw):
                names = _split_dotted(header.group(2))
                path: tuple = ()
                # Resolve each prefix to the latest element of an array of tables.
                for name in names[:-1]:
                    path = path + (name,)
                    if path in counters:
                        path = path + (counters[path],)
                path = path + (names[-1],)
                if header.group(1) == "[[":
                    counters[path] = counters.get(path, -1) + 1
                    # Elements below a new element start their counts afresh.
                    for other in [p for p in counters if len(p) > len(path) and p[: len(path)] == path]:
                        del counters[other]
                    path = path + (counters[path],)
                self.where.setdefault(path, number)
                table = path
                continue
            key = _KEY.match(raw)
            if key:
                path = table + tuple(_split_dotted(key.group(1)))
                self.where.setdefault(path, number)
                self.escaped.setdefault(table + tuple(_split_dotted(key.group(1), escapes=True)), number)
                rest = raw[key.end():]
                quote = re.match(r"\s*(\"\"\"|'''|\"|')", rest)
                if quote:
                    self.columns.setdefault(path, key.end() + quote.end())
                quote = ends[number]
                if quote is not None and quote in rest:
                    # The text starts after the opening quotes, or on the
                    # next line when a line break follows them.
                    after = rest.split(quote, 1)[1]
                    self.where.setdefault(path + ("<body>",), number + (0 if after.strip() else 1))

    def line(self, path: tuple, token: str | None = None) -> int | None:
        """The line of the field at `path`, or of its nearest enclosing field
        found; with `token`, the first line from there on naming it."""
        probe = tuple(path)
        while probe and probe not in self.where:
            probe = probe[:-1]
        if not probe:
            return None
        start = self.where[probe]
        if token is not None:
            pattern = re.compile(r"(?<![A-Za-z0-9_])" + re.escape(token) + r"(?![A-Za-z0-9_])")
            for number in range(start, min(start + 400, len(self.lines) + 1)):
                if pattern.search(self.lines[number - 1]):
                    return number
        return start

    def column(self, path: tuple) -> int:
        """The column where the text of a one-line string field starts (0 when
        the text starts on a line of its own)."""
        body = tuple(path) + ("<body>",)
        if body in self.where and self.where[body] != self.where.get(tuple(path)):
            return 0
        return self.columns.get(tuple(path), 0)

    def body_line(self, path: tuple) -> int | None:
        """The line where the text of a string field starts."""
        body = tuple(path) + ("<body>",)
        if body in self.where:
            return self.where[body]
        return self.line(path)
