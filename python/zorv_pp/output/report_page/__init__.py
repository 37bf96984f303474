"""Self-contained HTML report pages: one per campaign, built from the parts in :mod:`.page`."""
from __future__ import annotations

from .campaign import NAMES, metadata_text, report_html, write_report

__all__ = ["NAMES", "metadata_text", "report_html", "write_report"]
