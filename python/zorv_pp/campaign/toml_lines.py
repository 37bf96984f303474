"""Where a key of a TOML text is: its line, and its dotted name for messages."""

from __future__ import annotations

import re

Table = tuple[str, ...]
"""A table path: ("window", "shear_viscosity"); an element of an array of tables is ("state", "0")."""

_HEADER = re.compile(r"^\s*(\[\[?)\s*([^\]]+?)\s*\]\]?")
_KEY = re.compile(r"^\s*([A-Za-z0-9_\-\"'.]+?)\s*=")


class Lines:
    """Line numbers of the keys of a TOML text, by table path and key.

    An element of an array of tables is ("state", "0"); a sub-table of it,
    ``[state.metadata]`` right after its ``[[state]]``, is ("state", "0", "metadata").
    """

    def __init__(self, text: str) -> None:
        self.lines: dict[tuple[Table, str], int] = {}
        self.tables: dict[Table, int] = {}
        table: Table = ()
        arrays: dict[Table, int] = {}
        for number, line in enumerate(text.splitlines(), start=1):
            header = _HEADER.match(line)
            if header:
                parts = tuple(p.strip().strip("\"'") for p in header.group(2).split("."))
                if header.group(1) == "[[":
                    arrays[parts] = arrays.get(parts, -1) + 1
                    table = parts + (str(arrays[parts]),)
                else:
                    table = parts
                    for n in range(len(parts) - 1, 0, -1):
                        if parts[:n] in arrays:
                            table = parts[:n] + (str(arrays[parts[:n]]),) + parts[n:]
                            break
                self.tables.setdefault(table, number)
                continue
            key = _KEY.match(line)
            if key:
                names = [p.strip().strip("\"'") for p in key.group(1).split(".")]
                for depth in range(len(names)):
                    self.lines.setdefault((table + tuple(names[:depth]), names[depth]), number)

    def of(self, table: Table, key: str | None = None) -> int | None:
        """The line of ``key`` in ``table``, else of the nearest enclosing table; None if unknown."""
        if key is not None and (table, key) in self.lines:
            return self.lines[(table, key)]
        if key is not None and table + (key,) in self.tables:  # the key is a sub-table's header
            return self.tables[table + (key,)]
        while table:
            # Else the table's header, or the key holding it as an inline or dotted table.
            if table in self.tables:
                return self.tables[table]
            if (table[:-1], table[-1]) in self.lines:
                return self.lines[(table[:-1], table[-1])]
            table = table[:-1]
        return None


def dotted(table: Table, key: str | None) -> str:
    """The name of ``key`` for messages: ``state[1].metadata.molality``."""
    parts: list[str] = []
    for part in (*table, *([key] if key else [])):
        if part.isdigit() and parts:
            parts[-1] += f"[{int(part) + 1}]"
        else:
            parts.append(part)
    return ".".join(parts)
