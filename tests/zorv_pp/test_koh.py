"""The KOH(aq) study: one state by hand, its branches and flags, campaigns, the command and its figures."""

import json
import math
import re
import shutil
import statistics
from pathlib import Path

import pytest

pytest.importorskip("_zorv_pp")
from zorv_pp import CampaignError, Estimate, StateResult  # noqa: E402
from zorv_pp.cli import main  # noqa: E402
from zorv_pp.koh import KOH, HopDistanceError, compare, study  # noqa: E402
from zorv_pp.koh.figures import DPI, SIZES  # noqa: E402

BUNDLE = Path(__file__).resolve().parents[2] / "examples" / "koh_campaign"
E, K_B = 1.602176634e-19, 1.380649e-23


def state(sigma, *, volume=3.0e-26, oh=80, rdf=2.65e-10, d_oh=2.0e-9):
    """A hand-made state point: per-run σ_MD (S/m), a common volume (m³), OH count and RDF peak (m)."""
    runs = len(sigma)
    estimates = {
        ("electrical_conductivity", None): Estimate.of(sigma, "S/m"),
        ("electrical_conductivity_ne", None): Estimate.of([s * 1.1 for s in sigma], "S/m"),
        ("self_diffusion", "OH"): Estimate.of([d_oh] * runs, "m^2/s"),
        ("volume", None): Estimate.of([volume] * runs, "m^3"),
        ("density", None): Estimate.of([1150.0] * runs, "kg/m^3"),
        ("shear_viscosity", None): Estimate.of([1.2e-3] * runs, "Pa s"),
    }
    if rdf is not None:
        estimates[("rdf_peak_position", ("OH", "water"))] = Estimate.of([rdf] * runs, "m")
    counts = tuple({"K": oh, "OH": oh, "water": 1000} for _ in range(runs))
    return StateResult("s", tuple(f"r{i}" for i in range(runs)), estimates, {"OH": "OH"}, counts=counts)


def test_one_state_by_hand():
    c = compare(state([36.0, 38.0, 40.0]), 298.15, 4.0)
    # Gilliam at 298.15 K, 4 mol/kg: M = 3.818 mol/L from the density model, then
    # 0.001043 M³ + 207.2 M/T + 0.005332 M T − 0.0028 M² − 2.041 M − 3e-7 (M T)² = 0.5589 S/cm.
    assert c.molarity == pytest.approx(3.8179, rel=1e-4)
    assert c.sigma_exp == pytest.approx(55.889, rel=1e-4)
    assert c.density_model == pytest.approx(1168.71, rel=1e-5)
    assert c.viscosity_model == pytest.approx(1.35028e-3, rel=1e-5)
    assert c.mass_fraction == pytest.approx(4 * 56.11 / (4 * 56.11 + 1000))
    assert c.flags == ()
    assert (c.hop_distance, c.hop_distance_source) == (2.65e-10, "rdf OH-water")

    def tau(sigma):  # d² e² N / (6 k T L³ Δσ), L³ = V
        return 2.65e-10**2 * E**2 * 80 / (6 * K_B * 298.15 * 3.0e-26 * (c.sigma_exp - sigma))

    std = statistics.pstdev([36.0, 38.0, 40.0])
    assert c.tau.mean == pytest.approx(1.0880e-11, rel=1e-4)
    assert (c.tau.mean, c.tau.low, c.tau.high) == pytest.approx((tau(38.0), tau(38.0 - std), tau(38.0 + std)))
    assert c.tau.per_run == pytest.approx((tau(36.0), tau(38.0), tau(40.0)))
    assert (c.d_hop.mean, c.d_hop.low, c.d_hop.high) == pytest.approx(
        [2.65e-10**2 / (6 * tau(s)) for s in (38.0, 38.0 + std, 38.0 - std)]
    )
    assert c.d_oh_corrected.mean == pytest.approx(2.0e-9 + c.d_hop.mean)
    assert c.d_oh_corrected.high == pytest.approx(2.0e-9 + c.d_hop.high)
    assert c.sigma_md_deviation == pytest.approx((38.0 - c.sigma_exp) / c.sigma_exp)
    assert c.density_deviation == pytest.approx(1150.0 / c.density_model - 1.0)
    # A given hop distance wins over the RDF peak.
    given = compare(state([36.0, 38.0, 40.0]), 298.15, 4.0, hop_distance=3.0e-10)
    assert given.hop_distance_source == "given"
    assert given.tau.mean == pytest.approx(tau(38.0) * (3.0 / 2.65) ** 2)


EXP = KOH.conductivity_at(298.15, 4.0)  # about 55.9 S/m


@pytest.mark.parametrize(
    "sigma, flag",
    [
        ([60.0, 61.0, 62.0], "no_deficit"),
        ([EXP], "no_deficit"),  # equal: no deficit, never an infinite τ
        ([50.0, 55.0, 60.0], "deficit_within_spread"),  # mean below σ_exp, mean + std above
    ],
)
def test_without_a_clear_deficit(sigma, flag):
    c = compare(state(sigma, rdf=None), 298.15, 4.0, hop_distance=2.6e-10)
    assert flag in c.flags
    if flag == "no_deficit":
        assert (c.tau, c.d_hop, c.d_oh_corrected) == (None, None, None)
    else:
        assert 0.0 < c.tau.low < c.tau.mean < c.tau.high == math.inf
        assert c.d_hop.low == 0.0 < c.d_hop.mean < c.d_hop.high
        assert math.isinf(c.tau.per_run[2]) and c.d_hop.per_run[2] == 0.0


def test_no_deficit_needs_no_hop_distance_but_a_deficit_does():
    assert compare(state([60.0, 61.0], rdf=None), 298.15, 4.0).tau is None
    with pytest.raises(HopDistanceError, match="hop_distance"):
        compare(state([36.0, 38.0], rdf=None), 298.15, 4.0)
    with pytest.raises(HopDistanceError):
        compare(state([36.0, 38.0], rdf=math.nan), 298.15, 4.0)


@pytest.mark.parametrize(
    "temperature, molality, flags",
    [
        (298.15, 4.0, set()),
        (313.15, 4.0, set()),  # 40 °C: the viscosity fit's edge is inside
        (333.15, 4.0, {"viscosity_extrapolated"}),
        (275.15, 4.0, {"density_extrapolated"}),  # 2 °C: below the density fit
        (370.15, 4.0, {"density_extrapolated", "viscosity_extrapolated"}),
        (298.15, 25.0, {"density_extrapolated", "viscosity_extrapolated"}),  # mass fraction 0.58
    ],
)
def test_extrapolation_flags(temperature, molality, flags):
    c = compare(state([30.0, 31.0]), temperature, molality)
    assert set(c.flags) - {"no_deficit"} == flags
    assert math.isfinite(c.density_model) and math.isfinite(c.viscosity_model)


@pytest.mark.parametrize("temperature", [298.15, 333.15])
@pytest.mark.parametrize("molarity", [0.5, 5.0, 11.0])
def test_molarity_round_trip(temperature, molarity):
    molality = KOH.molality_of(molarity, temperature)
    assert molality > molarity * 0.99
    assert KOH.density_at(temperature, molality)[1] == pytest.approx(molarity, abs=1e-9)


def test_command_on_the_bundled_campaign(tmp_path, capsys):
    assert main(["koh", str(BUNDLE / "campaign.toml"), "--out", str(tmp_path), "--jobs", "2"]) == 0
    document = json.loads((tmp_path / "koh_study.json").read_text())
    rows = {row["state"]: row for row in document["rows"]}
    assert len(rows) == 6
    # Every analysed run and its warnings travel with the results, and the study has its own page.
    assert len(document["runs"]) == 18 and any(run["warnings"] for run in document["runs"])
    page = (tmp_path / "report.html").read_text(encoding="utf-8")
    assert "Proton hopping" in page and page.count('src="data:image/png;base64,') == len(SIZES)
    for row in rows.values():
        assert row["tau"] is None or 1e-12 < row["tau"] < 1e-10
    given = rows["c5.0_T298"]
    assert given["given_as"] == "molarity" and given["molarity"] == pytest.approx(5.0, abs=1e-9)
    assert given["molality"] == pytest.approx(KOH.molality_of(5.0, 298.15))
    no_deficit = rows["m2.0_T333"]
    assert no_deficit["tau"] is None and "no_deficit" in no_deficit["flags"].split(";")
    assert "viscosity_extrapolated" in no_deficit["flags"]
    printed = capsys.readouterr().out.splitlines()
    assert any(line.startswith("m2.0_T333: no deficit") for line in printed)
    # The printed table sets MD beside experiment and the models, rounded to the error, with the state's flags.
    assert printed[0].split()[:6] == ["state", "T", "(K)", "b", "(mol/kg)", "σ_MD"] and "η_model (mPa·s)" in printed[0]
    row = next(line for line in printed if line.startswith("m2.0_T333 "))
    assert " ± " in row and "56.2 " in row and row.endswith("viscosity_extrapolated, no_deficit")
    assert printed[-3].endswith("(6 states)")
    csv_rows = (tmp_path / "koh_study.csv").read_text().splitlines()
    header = csv_rows[0].split(",")
    no_deficit_cells = dict(zip(header, next(r for r in csv_rows if r.startswith("m2.0_T333")).split(",")))
    assert no_deficit_cells["tau"] == "" and no_deficit_cells["hop_distance_source"] == "rdf OH-water"
    for stem, (width, height) in SIZES.items():
        png = (tmp_path / "figures" / f"{stem}.png").read_bytes()
        assert png[:8] == b"\x89PNG\r\n\x1a\n"
        size = int.from_bytes(png[16:20], "big"), int.from_bytes(png[20:24], "big")
        assert size == (round(width * DPI), round(height * DPI))


CAMPAIGN = """\
[species.K]
charge = 1
[species.OH]
charge = -1
[species.water]
charge = 0
{koh}
[[state]]
name = "a"
runs = ["{runs}"]
temperature = {temperature}
[state.metadata]
{concentration}
"""


def write(
    folder, runs=str(BUNDLE / "m4.0_T298" / "rep*"), koh="", temperature="298.15", concentration="molality = 4.0"
):
    path = folder / "campaign.toml"
    path.write_text(CAMPAIGN.format(koh=koh, runs=runs, temperature=temperature, concentration=concentration))
    return path


@pytest.mark.parametrize(
    "change, key, marker",
    [
        ({"koh": '[koh]\ncation = "Na"'}, "koh.cation", "cation ="),
        ({"koh": '[koh]\nspecies = "K"'}, "koh.species", "species ="),
        (
            {"koh": "[koh.parameters]\nmolar_mass = 56.1\ndensity = [1, 2, 3]\nviscosity = [1, 2, 3, 4, 5, 6]"},
            "koh.parameters.density",
            "density =",
        ),
        ({"runs": "/nowhere/rep*"}, "state[1].runs", "runs ="),
        ({"temperature": '"hot"'}, "state[1].temperature", "temperature ="),
        ({"concentration": 'molality = "two"'}, "state[1].metadata.molality", "molality ="),
        ({"concentration": "molarity = 90.0"}, "state[1].metadata.molarity", "molarity ="),
        ({"concentration": "molality = 2.0\nmolarity = 2.0"}, "state[1].metadata.molarity", "molarity ="),
        ({"concentration": ""}, "state[1].metadata", "[state.metadata]"),
    ],
)
def test_bad_campaign_names_line_and_key(tmp_path, capsys, change, key, marker):
    path = write(tmp_path, **change)
    line = next(n for n, text in enumerate(path.read_text().splitlines(), 1) if text.startswith(marker))
    with pytest.raises(CampaignError, match=rf"campaign\.toml:{line}: {re.escape(key)}: "):
        study(path)
    assert main(["koh", str(path), "--out", str(tmp_path / "out")]) == 2
    assert f":{line}: {key}:" in capsys.readouterr().err


def test_missing_hop_distance_is_a_failure_naming_the_state(tmp_path):
    for run in ("rep1", "rep2"):
        shutil.copytree(BUNDLE / "m4.0_T298" / run, tmp_path / "s" / run, ignore=shutil.ignore_patterns("rdf.dat"))
    path = write(tmp_path, runs="s/rep*")
    result = study(path)
    assert not result.comparisons
    (failure,) = result.failures
    line = path.read_text().splitlines().index("[state.metadata]") + 1
    assert f":{line}: state[1].metadata.hop_distance: " in failure.message and "give hop_distance" in failure.message
    assert main(["koh", str(path), "--out", str(tmp_path / "out"), "--no-figures"]) == 1
    path.write_text(path.read_text().replace("molality = 4.0", "molality = 4.0\nhop_distance = 2.7e-10"))
    assert study(path).comparisons[0].hop_distance == 2.7e-10
