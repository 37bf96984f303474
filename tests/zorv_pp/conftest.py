import os
import sys

import pytest

# The layout checks are a module of this folder, shared by the figure tests and the hook below.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))


@pytest.fixture(autouse=True)
def every_saved_figure_is_laid_out_cleanly(monkeypatch):
    """Whatever a test draws and saves, its layout is checked first: no text over text or data."""
    try:
        from matplotlib.figure import Figure
    except ImportError:
        yield
        return
    from layout_checks import check_layout

    original = Figure.savefig

    def checked(self, *args, **kwargs):
        check_layout(self)
        return original(self, *args, **kwargs)

    monkeypatch.setattr(Figure, "savefig", checked)
    yield
