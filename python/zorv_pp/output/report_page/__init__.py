"""Self-contained HTML report pages: one per campaign, built from the parts in :mod:`.page`."""

from __future__ import annotations

from .campaign import metadata_text, report_html, write_report

__all__ = ["metadata_text", "report_html", "write_report"]
