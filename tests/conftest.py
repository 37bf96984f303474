import os
import sys

import pytest

# The suite runs against a freshly built module, not an installed one.
_module_dir = os.environ.get("ZORV_MODULE_DIR")
if _module_dir:
    sys.path.insert(0, _module_dir)
# ...and the Python package from the work tree.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "python"))

# Property-based tests keep no example database: a run depends on its code and seed, never on
# the runs before it.
try:
    import hypothesis
except ImportError:
    pass
else:
    hypothesis.settings.register_profile("zorv", database=None)
    hypothesis.settings.load_profile("zorv")

# The layout checks of figures (tests/zorv_pp/layout_checks.py), for every figure any test saves.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "zorv_pp"))


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
