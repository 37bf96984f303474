"""Campaign files: every key is known or an error naming its line; metadata and run settings kept."""

import pytest

from zorv_pp import CampaignError
from zorv_pp.campaign.batch import jobs_of
from zorv_pp.campaign.file import load_campaign
from zorv_pp.run.sampling import Sampling

CAMPAIGN = """units = "real"
run_length = 5000.0
density_unit = "kg/m3"
[species.K]
charge = 1
molar_mass = 39.1
[window]
margin = 0.1
[sampling]
interval = 10.0
nbe = 20
[sampling.viscosity]
interval = 20.0
blocks = 4
[[state]]
name = "a"
runs = ["a/rep*"]
temperature = 300.0
[[state]]
name = "b"
runs = ["b/rep*"]
run_length = 8000.0
[state.metadata]
molality = 2.0
solvent = "water"
"""


@pytest.fixture
def folder(tmp_path):
    for state in ("a", "b"):
        (tmp_path / state / "rep1").mkdir(parents=True)
    return tmp_path


def test_settings_and_metadata_reach_the_runs(folder):
    path = folder / "campaign.toml"
    path.write_text(CAMPAIGN)
    campaign = load_campaign(path)
    a, b = campaign.states
    assert a.metadata == {"temperature": 300.0} and b.metadata == {"molality": 2.0, "solvent": "water"}
    first, second = jobs_of(campaign)
    assert (first.run_length, second.run_length) == (5000.0, 8000.0)
    assert first.density_unit == "kg/m3" and first.molar_masses == {"K": 39.1}
    assert second.metadata["molality"] == 2.0
    assert first.sampling["diffself"] == Sampling(10.0, 20, 5000.0)
    assert second.sampling["viscosity"] == Sampling(20.0, 20, 8000.0, 4)
    options = second.load_options()
    assert options["run_length"] == 8000.0 and options["molar_masses"] == {"K": 39.1}


@pytest.mark.parametrize(
    "change, line, key, message",
    [
        (('units = "real"', 'unit = "real"'), 1, "unit", "unknown key"),
        (("charge = 1", "chrage = 1"), 5, "species.K.chrage", "unknown key"),
        (("margin = 0.1", "margn = 0.1"), 8, "window.margn", "unknown window setting"),
        (
            ("[window]\nmargin = 0.1", "[window.shear_viscosty]\nmargin = 0.1"),
            7,
            "window.shear_viscosty",
            "unknown fit group",
        ),
        (("nbe = 20", "nbee = 20"), 11, "sampling.nbee", "unknown key"),
        (("[sampling.viscosity]", "[sampling.visc]"), 12, "sampling.visc", "unknown table kind"),
        (("blocks = 4", "blocks = 0"), 14, "sampling.viscosity.blocks", "whole number of at least 1"),
        (("interval = 10.0\n", ""), 9, "sampling.interval", "needs interval and nbe"),
        (("run_length = 5000.0\n", ""), 8, "sampling.run_length", "missing for the diffself tables of state 'a'"),
        (('density_unit = "kg/m3"', 'density_unit = "kg/l"'), 3, "density_unit", "must be one of"),
        (("temperature = 300.0", "temprature = 300.0"), 18, "state[1].temprature", r"\[state.metadata\]"),
        (("run_length = 8000.0", "runlength = 8000.0"), 22, "state[2].runlength", "unknown key"),
        (('solvent = "water"', "temperature = 298.0"), 25, "state[2].metadata.temperature", "key of \\[\\[state\\]\\]"),
        (('solvent = "water"', 'solvent = {name = "water"}'), 25, "state[2].metadata.solvent", "must be a text"),
    ],
)
def test_unknown_and_bad_keys_name_line_and_key(folder, change, line, key, message):
    path = folder / "campaign.toml"
    assert change[0] in CAMPAIGN
    path.write_text(CAMPAIGN.replace(*change))
    with pytest.raises(CampaignError, match=message) as caught:
        load_campaign(path)
    assert str(caught.value).startswith(f"{path}:{line}: {key}: ")
