"""The legend of the flags a page shows: each code on one line with its meaning, from the docstrings in flags.py
(and in the module of any other flags the page shows)."""

from __future__ import annotations

import ast
from collections.abc import Iterable, Sequence
from functools import cache
from pathlib import Path

from ... import flags
from .page import e


@cache
def flag_meanings(source: str = flags.__file__) -> dict[str, str]:
    """Each flag code of the module file ``source`` (:mod:`zorv_pp.flags`) and its docstring: a string
    constant followed by a string."""
    tree = ast.parse(Path(source).read_text(encoding="utf-8"))
    meanings: dict[str, str] = {}
    for node, after in zip(tree.body, tree.body[1:]):
        if isinstance(node, ast.Assign) and isinstance(node.value, ast.Constant) and isinstance(after, ast.Expr):
            doc = after.value
            if isinstance(doc, ast.Constant) and isinstance(doc.value, str) and isinstance(node.value.value, str):
                meanings[node.value.value] = " ".join(doc.value.split())
    return meanings


def flags_legend(shown: Iterable[str], sources: Sequence[str] = ()) -> str:
    """A list of the flags in ``shown`` that flags.py, then the module files ``sources``, explain, in their
    order; "" when there are none."""
    present = set(shown)
    meanings: dict[str, str] = {}
    for source in (flags.__file__, *sources):
        meanings.update(flag_meanings(source))
    items = [
        f'<li><code class="code">{e(code)}</code>: {e(meaning)}</li>'
        for code, meaning in meanings.items()
        if code in present
    ]
    if not items:
        return ""
    return '<h3>What the flags mean</h3><ul class="legend" id="flag-legend">' + "".join(items) + "</ul>"
