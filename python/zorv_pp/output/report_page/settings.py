"""The fit settings of a report: a table of fit group × setting, and any further settings as name and value."""

from __future__ import annotations

import dataclasses
from collections.abc import Mapping
from typing import Any

from ...msdfit.window import Window, windows_for
from .page import document, e, failures, table


def _window_table(windows: Mapping[str, Any]) -> str:
    """Fit group × setting, from Windows or from their fields as mappings."""
    rows = {group: dataclasses.asdict(w) if isinstance(w, Window) else dict(w) for group, w in windows.items()}
    names = list(dict.fromkeys(name for values in rows.values() for name in values))
    cells = [[e(group)] + [_setting(values.get(name)) for name in names] for group, values in rows.items()]
    unset = any(values.get(name) is None for values in rows.values() for name in names)
    note = '<p class="meta">– : not set; the fit chooses it from the curve.</p>' if unset else ""
    return table(["fit group", *names], cells) + note


def _setting(value: Any) -> str:
    """A setting's cell: "–" where it is unset (the fit decides), never "None"."""
    return '<span class="none">–</span>' if value is None or value == "" else e(value)


def _grouped(value: Any) -> bool:
    return isinstance(value, Mapping) and bool(value) and all(isinstance(v, (Window, Mapping)) for v in value.values())


def settings_section(settings: Any) -> str:
    """The "Fit settings" part of a page: a Window, fit group → Window, None (defaults) or any mapping."""
    head = "<h2>Fit settings</h2>"
    if settings is None:
        return head + '<p class="meta">The defaults (no setting was given).</p>' + _window_table(windows_for(None))
    if isinstance(settings, Window) or (
        isinstance(settings, Mapping) and settings and all(isinstance(w, Window) for w in settings.values())
    ):
        return head + _window_table(windows_for(settings))
    if isinstance(settings, Mapping):
        tables = [_window_table(v) for v in settings.values() if _grouped(v)]
        rows = [
            [e(k), e(", ".join(map(str, v)) if isinstance(v, (list, tuple)) else v)]
            for k, v in settings.items()
            if not _grouped(v)
        ]
        return head + "".join(tables) + (table(("setting", "value"), rows) if rows else "")
    return f"{head}<p>{e(settings)}</p>"


def finished_page(title: str, body: list[str], failed: Any, settings: Any) -> str:
    """The page of ``body`` closed by the failures, the settings and the version."""
    from ... import __version__

    return document(
        title,
        [
            *body,
            failures(failed),
            settings_section(settings),
            f'<footer class="meta">Written by zorv_pp {e(__version__)}.</footer>',
        ],
    )
