"""The developer page's example declaration is the one the registry test runs end to end."""

import pathlib
import re

import pytest

pytest.importorskip("_zorv_pp")
from zorv_pp import properties  # noqa: E402
from zorv_pp.properties import Conditions  # noqa: E402
from zorv_pp.units import METAL, REAL  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_the_documented_property_registers_as_the_tested_one():
    text = (ROOT / "docs" / "developer.md").read_text(encoding="utf-8")
    code = re.search(r"```python\n(.*?)```", text, re.S).group(1)
    from test_properties import TOY  # tests/zorv_pp is on the path (tests/conftest.py)

    namespace: dict = {}
    exec(compile(code, "docs/developer.md", "exec"), namespace)
    try:
        shown = properties.get("shear_viscosity_xy")
        assert shown is namespace["XY"] and shown.name == TOY.name
        for field in (
            "unit",
            "title",
            "kind",
            "table",
            "column",
            "walkers",
            "group",
            "curve_unit",
            "quantity",
            "family",
            "summary",
        ):
            assert getattr(shown, field) == getattr(TOY, field), field
        for style in (REAL, METAL):
            conditions = Conditions(style, 310.0, 1e-26, {"water": 500})
            assert shown.factor(conditions) == style.viscosity / 310.0
    finally:
        properties.unregister("shear_viscosity_xy")
