"""The property registry: a property declared in one place is fitted, combined, written, drawn and reported."""

import csv

import pytest

pytest.importorskip("_zorv_pp")
pytest.importorskip("matplotlib")

import zorv_pp.figures.convergence as convergence_module  # noqa: E402
import zorv_pp.figures.msd as msd_module  # noqa: E402
import zorv_pp.figures.summary as summary_module  # noqa: E402
from zorv_pp import cli, properties, synthetic  # noqa: E402
from zorv_pp.properties import Conditions, Property  # noqa: E402

COUNTS = {"K": 20, "OH": 20, "water": 500}
D = {"K": 1.8e-9, "OH": 2.6e-9, "water": 2.1e-9}
ONSAGER = {
    ("K", "K"): 6.5e-11,
    ("OH", "OH"): 9.1e-11,
    ("water", "water"): 2.0e-9,
    ("K", "OH"): 2e-12,
    ("K", "water"): -1e-12,
    ("OH", "water"): -1.5e-12,
}
SHEAR = 8.9e-4

# A viscosity from one off-diagonal component of the pressure tensor: every part of the test below
# learns of it from this declaration alone.
TOY = Property(
    "shear_viscosity_xy",
    "Pa s",
    "shear viscosity (xy component)",
    "column",
    r"$\eta_{xy}$",
    table="viscosity",
    column="MSD_xy",
    walkers=1.0,
    factor=lambda c: c.style.viscosity / c.temperature,
    group="shear_viscosity",
    curve_unit="Pa s^2",
    quantity="xy Helfand moment",
    depends=("viscosity",),
    state_files=("temperature.dat",),
    family="viscosity",
    summary="xy shear viscosity",
    converging=True,
)


@pytest.fixture()
def campaign(tmp_path):
    """Two replicas of noise-free straight lines."""
    for k, temperature in enumerate((298.15, 310.0)):
        synthetic.write_run(
            tmp_path / "state" / f"rep{k}",
            synthetic.RunSpec(
                counts=COUNTS,
                self_diffusion=D,
                onsager=ONSAGER,
                shear_viscosity=SHEAR,
                ballistic=False,
                temperature=temperature,
                seed=k,
            ),
        )
    return tmp_path


@pytest.fixture()
def drawn(monkeypatch):
    figures = []

    def keep(figure, path, fmt):
        figures.append(figure)
        return path

    for module in (msd_module, convergence_module, summary_module):
        monkeypatch.setattr(module, "save", keep)
    return figures


def test_a_declared_property_is_fitted_combined_written_drawn_and_reported(campaign, drawn):
    out = campaign / "out"
    with properties.registered(TOY):
        status = cli.main(
            [
                "analyze",
                str(campaign / "state" / "rep0"),
                str(campaign / "state" / "rep1"),
                "--out",
                str(out),
                "--quiet",
                "--charge",
                "K=1",
                "--charge",
                "OH=-1",
                "--charge",
                "water=0",
            ]
        )
        assert "shear_viscosity_xy" in properties.names()
    assert "shear_viscosity_xy" not in properties.names()  # gone with its block
    assert status == 0
    with open(out / "results.csv", newline="") as stream:
        rows = [row for row in csv.DictReader(stream) if row["property"] == "shear_viscosity_xy"]
    assert len(rows) == 1 and rows[0]["unit"] == "Pa s" and rows[0]["count"] == "2"
    assert [float(v) for v in rows[0]["per_run"].split(";")] == pytest.approx([SHEAR, SHEAR], rel=1e-9)
    assert all(float(v) > 0.0 for v in rows[0]["fit_start"].split(";"))
    titles = {axis.get_title().split("\n")[0] for figure in drawn for axis in figure.axes}
    assert "shear viscosity (xy component)" in titles  # its MSD panel and its convergence panel
    assert "xy shear viscosity" in titles  # its summary panel
    ylabels = {axis.get_ylabel() for figure in drawn for axis in figure.axes}
    assert any(label.startswith("xy Helfand moment") for label in ylabels)
    page = (out / "report.html").read_text()
    assert "shear viscosity (xy component)" in page


@pytest.mark.parametrize(
    "changes, message",
    [
        ({"kind": "fitted"}, "unknown kind 'fitted'"),
        ({"column": None}, "needs its table, column, factor and group"),
        ({"group": None}, "needs its table, column, factor and group"),
    ],
)
def test_a_declaration_missing_what_its_kind_needs_is_refused(changes, message):
    fields = {
        "name": "x",
        "unit": "1",
        "title": "x",
        "kind": "column",
        "table": "viscosity",
        "column": "MSD_xy",
        "factor": lambda c: 1.0,
        "group": "shear_viscosity",
        **changes,
    }
    with pytest.raises(ValueError, match=message):
        Property(**fields)


def test_names_are_unique_and_built_in_ones_stay():
    with pytest.raises(ValueError, match="already registered"):
        properties.register(properties.get("onsager"))
    with pytest.raises(ValueError, match="built-in"):
        properties.unregister("onsager")
    with pytest.raises(ValueError, match="unknown property 'viscosity'"):
        properties.get("viscosity")


@pytest.mark.parametrize(
    "name, species, walkers",
    [
        ("self_diffusion_pbc", "K", 60.0),  # three dimensions of each of 20 molecules
        ("onsager", None, 3.0),  # one collective walker per dimension
        ("bulk_viscosity", None, 1.0),
    ],
)
def test_walkers_count_molecules_only_where_declared(name, species, walkers):
    from zorv_pp.units import REAL

    assert properties.get(name).walkers_of(Conditions(REAL, 300.0, 1e-26, COUNTS, species)) == walkers


def test_every_fitted_property_names_its_table_group_and_curve():
    for prop in properties.of_kind("column", "species", "onsager", "combined"):
        assert prop.table and prop.group and prop.curve_unit and prop.quantity and prop.family, prop.name
    assert properties.fit_groups() == (
        "self_diffusion",
        "onsager",
        "shear_viscosity",
        "bulk_viscosity",
        "thermal_conductivity",
    )
