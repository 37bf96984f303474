"""The campaign file reader: every key reaches its place, every bad key is named with its file and line."""

import pytest

from zorv_pp import CampaignError
from zorv_pp.campaign.file import load_campaign
from zorv_pp.campaign.toml_lines import Lines, dotted
from zorv_pp.msdfit.window import Window
from zorv_pp.properties import fit_groups
from zorv_pp.run.sampling import SAMPLED_TABLES, Sampling

# Line numbers of the keys below are what the error table checks: keep it in step when editing.
FULL = """units = "real"
viscosity = 8.9e-4
run_length = 1.0e6
density_unit = "g/cm3"
[species.K]
group = "potassium"
charge = 1
molar_mass = 39.0983
[species.water]
group = "OW"
atoms_per_molecule = 3
charge = 0
[window]
margin = 0.1
[window.shear_viscosity]
max_error = 0.2
start = 1e-12
end = 5e-12
[sampling]
interval = 1000.0
nbe = 20
[sampling.viscosity]
interval = 10.0
blocks = 4
[[state]]
name = "m2.0_T298"
runs = ["a/rep*"]
temperature = 298.15
viscosity = 9e-4
run_length = 2.0e6
[state.metadata]
molality = 2.0
solvent = "water"
[[state]]
runs = ["b/rep*"]
"""


@pytest.fixture
def folder(tmp_path):
    for run in ("a/rep2", "a/rep1", "b/rep1", "c/x1"):
        (tmp_path / run).mkdir(parents=True)
    (tmp_path / "a" / "rep_notes.txt").write_text("a file matching the glob is no run folder")
    return tmp_path


def written(folder, text, name="campaign.toml"):
    path = folder / name
    path.write_text(text, encoding="utf-8")
    return path


def test_every_key_reaches_its_place(folder, monkeypatch):
    monkeypatch.chdir(folder / "c")  # run globs are relative to the file, not to the working folder
    campaign = load_campaign(written(folder, FULL))
    assert (campaign.units, campaign.viscosity, campaign.run_length, campaign.density_unit) == (
        "real",
        8.9e-4,
        1.0e6,
        "g/cm3",
    )
    assert campaign.groups == {"K": ("potassium", 1), "water": ("OW", 3)}
    assert campaign.charges == {"K": 1.0, "water": 0.0} and campaign.molar_masses == {"K": 39.0983}
    first, second = campaign.states
    assert first.runs == (folder / "a" / "rep1", folder / "a" / "rep2")
    assert (first.name, first.temperature, first.viscosity, first.run_length, first.line) == (
        "m2.0_T298",
        298.15,
        9e-4,
        2.0e6,
        25,
    )
    assert first.metadata == {"temperature": 298.15, "molality": 2.0, "solvent": "water"}
    # A state without a name is named after the folder holding its first run; without settings it has none.
    assert (second.name, second.runs, second.temperature, second.viscosity, second.run_length) == (
        "b",
        (folder / "b" / "rep1",),
        None,
        None,
        None,
    )
    assert second.metadata == {} and second.line == 34
    windows = campaign.windows
    assert set(windows) == set(fit_groups())
    assert windows["shear_viscosity"] == Window(margin=0.1, max_error=0.2, start=1e-12, end=5e-12)
    assert all(w == Window(margin=0.1) for group, w in windows.items() if group != "shear_viscosity")
    assert set(campaign.sampling) == set(SAMPLED_TABLES)
    assert campaign.sampling["viscosity"] == {"interval": 10.0, "nbe": 20, "blocks": 4}
    assert campaign.sampling["diffself"] == {"interval": 1000.0, "nbe": 20}


@pytest.mark.parametrize(
    "change, kind, expected",
    [
        (None, "viscosity", Sampling(10.0, 20, 2.0e6, 4)),  # the state's run_length wins over the top-level one
        (None, "diffonsag", Sampling(1000.0, 20, 2.0e6)),
        (("blocks = 4", "blocks = 4\nrun_length = 3.0e5"), "viscosity", Sampling(10.0, 20, 3.0e5, 4)),
        (("run_length = 2.0e6\n", ""), "tconductivity", Sampling(1000.0, 20, 1.0e6)),
    ],
)
def test_the_sampling_of_a_state(folder, change, kind, expected):
    campaign = load_campaign(written(folder, FULL.replace(*change) if change else FULL))
    assert campaign.samplings(campaign.states[0])[kind] == expected


@pytest.mark.parametrize(
    "text, expected",
    [
        ('[[state]]\nruns = "a/rep1"\n', ["a/rep1"]),  # one glob as a plain string
        ('[[state]]\nruns = ["a/rep*", "a/rep1"]\n', ["a/rep1", "a/rep2"]),  # a folder matched twice counts once
        ('[[state]]\nruns = ["b/*", "a/rep2"]\n', ["b/rep1", "a/rep2"]),  # pattern order, sorted within one
        ('[[state]]\nruns = ["*/rep1"]\n', ["a/rep1", "b/rep1"]),
        ('[[state]]\nruns = ["a/rep?"]\n', ["a/rep1", "a/rep2"]),
    ],
)
def test_run_globs_match_folders_beside_the_file(folder, text, expected):
    (point,) = load_campaign(written(folder, text)).states
    assert point.runs == tuple(folder / run for run in expected)


def test_a_campaign_in_a_subfolder_reads_its_runs_from_there(folder):
    path = written(folder / "a", '[[state]]\nruns = ["rep*"]\n')
    (point,) = load_campaign(path).states
    assert point.runs == (folder / "a" / "rep1", folder / "a" / "rep2") and point.name == "a"


def test_defaults_of_a_minimal_campaign(folder):
    campaign = load_campaign(written(folder, '[species.OH]\n[[state]]\nruns = ["b/*"]\n[koh]\nanything = 1\n'))
    assert (campaign.units, campaign.viscosity, campaign.run_length, campaign.density_unit) == (None,) * 4
    assert campaign.groups == {"OH": ("OH", 1)} and campaign.charges is None and campaign.molar_masses == {}
    assert campaign.windows == {group: Window() for group in fit_groups()}
    assert campaign.sampling == {} and campaign.samplings(campaign.states[0]) is None


# (text replaced, its replacement) → line, dotted key and a fragment of the message.
BAD = [
    (("viscosity = 8.9e-4", 'viscosity = "thick"'), 2, "viscosity", "must be a number"),
    (("viscosity = 8.9e-4", "viscosity = nan"), 2, "viscosity", "must be a number"),
    (("viscosity = 8.9e-4", "viscosity = true"), 2, "viscosity", "must be a number"),
    (("run_length = 1.0e6", "run_length = 0"), 3, "run_length", "must be positive"),
    (("run_length = 1.0e6", "run_length = -inf"), 3, "run_length", "must be a number"),
    (('group = "potassium"', 'group = ""'), 6, "species.K.group", "must be a group name"),
    (('group = "potassium"', "group = 19"), 6, "species.K.group", "must be a group name"),
    (("molar_mass = 39.0983", "molar_mass = 0.0"), 8, "species.K.molar_mass", "must be positive"),
    (
        ("atoms_per_molecule = 3", "atoms_per_molecule = 0"),
        11,
        "species.water.atoms_per_molecule",
        "positive whole number",
    ),
    (
        ("atoms_per_molecule = 3", "atoms_per_molecule = 1.5"),
        11,
        "species.water.atoms_per_molecule",
        "positive whole number",
    ),
    (
        ("atoms_per_molecule = 3", "atoms_per_molecule = true"),
        11,
        "species.water.atoms_per_molecule",
        "positive whole number",
    ),
    (("charge = 0", 'charge = "none"'), 12, "species.water.charge", "must be a number"),
    (("[species.K]\n", "[species]\nNa = 1\n[species.K]\n"), 6, "species.Na", "must be a table"),
    (("margin = 0.1", 'method = "lsq"'), 14, "window.method", "must be one of gls, window"),
    (("margin = 0.1", "min_window = 2.5"), 14, "window.min_window", "must be a whole number"),
    (("margin = 0.1", "max_window = -1"), 14, "window.max_window", "must not be negative"),
    (("max_error = 0.2", 'max_error = "x"'), 16, "window.shear_viscosity.max_error", "must be a number"),
    (("start = 1e-12", "start = 0.0"), 17, "window.shear_viscosity.start", "must be a positive time"),
    (("end = 5e-12", "ends = 5e-12"), 18, "window.shear_viscosity.ends", "unknown window setting"),
    (("interval = 1000.0", "interval = 0.0"), 20, "sampling.interval", "must be positive"),
    (("nbe = 20", "nbe = 1"), 21, "sampling.nbe", "at least 2"),
    (("nbe = 20", "nbe = 20.0"), 21, "sampling.nbe", "whole number"),
    (("interval = 10.0", 'interval = "10"'), 23, "sampling.viscosity.interval", "must be a number"),
    (('name = "m2.0_T298"', 'name = ""'), 26, "state[1].name", "must be a text"),
    (('runs = ["a/rep*"]', "runs = []"), 27, "state[1].runs", "list of run folder globs"),
    (('runs = ["a/rep*"]', "runs = [1]"), 27, "state[1].runs", "list of run folder globs"),
    (('runs = ["a/rep*"]', 'runs = ["a/rep_notes*"]'), 27, "state[1].runs", "no run folder matches 'a/rep_notes\\*'"),
    (('runs = ["a/rep*"]', 'runs = [\n  "a/rep*",\n  "a/none*",\n]'), 27, "state[1].runs", "'a/none\\*'"),
    (("viscosity = 9e-4", 'viscosity = "9e-4"'), 29, "state[1].viscosity", "must be a number"),
    (("run_length = 2.0e6", "run_length = -2.0"), 30, "state[1].run_length", "must be positive"),
    (('solvent = "water"', "made = 2024-01-01"), 33, "state[1].metadata.made", "must be a text, a number"),
    (('solvent = "water"', 'runs = ["a/*"]'), 33, "state[1].metadata.runs", "key of \\[\\[state\\]\\]"),
    (
        ('[state.metadata]\nmolality = 2.0\nsolvent = "water"', "metadata = 3"),
        31,
        "state[1].metadata",
        "must be a table",
    ),
    (('runs = ["b/rep*"]', 'runs = ["b/rep*"]\nname = "m2.0_T298"'), 36, "state[2].name", "used twice"),
    (('runs = ["b/rep*"]', 'runs = ["b/rep*"]\nmolality = 1.0'), 36, "state[2].molality", "unknown key"),
    # A key inside an inline table is found at the line of the table's key.
    (
        (
            '[species.water]\ngroup = "OW"\natoms_per_molecule = 3\ncharge = 0',
            '[species]\nwater = {group = "OW", mass = 18.0}',
        ),
        10,
        "species.water.mass",
        "unknown key",
    ),
]


@pytest.mark.parametrize("change, line, key, message", BAD)
def test_a_bad_key_is_named_with_file_and_line(folder, change, line, key, message):
    assert change[0] in FULL
    path = written(folder, FULL.replace(*change, 1))
    with pytest.raises(CampaignError, match=message) as caught:
        load_campaign(path)
    assert str(caught.value).startswith(f"{path}:{line}: {key}: ")


@pytest.mark.parametrize(
    "text, start, message",
    [
        ('units = "real"\n', ": state: ", "at least one \\[\\[state\\]\\]"),  # no line of its own: the file alone
        ('units = "real"\nstate = []\n', ":2: state: ", "at least one \\[\\[state\\]\\]"),
        ('units = \n[[state]]\nruns = ["b/*"]\n', ": ", "not valid TOML.*line 1"),
        ('[[state]]\nruns = ["b/*"]\n[[state]]\nruns = ["b/*"]\n', ":3: state[2].name: ", "'b' is used twice"),
        (
            '[sampling.viscosity]\ninterval = 1.0\nnbe = 5\n[[state]]\nruns = ["b/*"]\n',
            ":1: sampling.viscosity.run_length: ",
            "missing for the viscosity tables of state 'b'",
        ),
        (
            '[sampling.diffself]\ninterval = 1.0\n[[state]]\nruns = ["b/*"]\n',
            ":1: sampling.diffself.nbe: ",
            "needs interval and nbe",
        ),
        (
            '[window.viscosity]\nmargin = 0.1\n[[state]]\nruns = ["b/*"]\n',
            ":1: window.viscosity: ",
            "unknown fit group",
        ),
    ],
)
def test_errors_of_small_campaigns(folder, text, start, message):
    path = written(folder, text)
    with pytest.raises(CampaignError, match=message) as caught:
        load_campaign(path)
    assert str(caught.value).startswith(f"{path}{start}")


def test_an_unreadable_campaign_is_named(folder):
    (folder / "latin1.toml").write_bytes('units = "réal"\n'.encode("latin-1"))
    for path in (folder / "absent.toml", folder / "latin1.toml"):
        with pytest.raises(CampaignError) as caught:
            load_campaign(path)
        assert str(caught.value).startswith(f"{path}: ")


@pytest.mark.parametrize(
    "changes",
    [
        [("end = 5e-12", "end = 5e-13")],  # both ends in one group
        [("start = 1e-12\n", ""), ("margin = 0.1", "start = 1e-11")],  # the common start after the group's end
    ],
)
def test_a_window_range_ending_before_it_starts_is_a_campaign_error(folder, changes):
    text = FULL
    for change in changes:
        text = text.replace(*change, 1)
    path = written(folder, text)
    with pytest.raises(CampaignError, match="must be after 'start'") as caught:
        load_campaign(path)
    assert str(caught.value).startswith(f"{path}:")


@pytest.mark.parametrize(
    "text, table, key, line",
    [
        ("a = 1\n[t]\nb = 2\n", ("t",), "b", 3),
        ("a = 1\n[t]\nb = 2\n", (), "a", 1),
        ("a = 1\n[t]\nb = 2\n", ("t",), "missing", 2),  # an absent key: its table's header
        ("[t.u]\nb = 2\n", ("t",), "u", 1),  # a sub-table named as a key: its header
        ('[ "t" . u ]\nb = 2\n', ("t", "u"), "b", 2),  # spaces and quotes in a header
        ("t.u.v = 1\n", ("t", "u"), "v", 1),  # dotted keys
        ("t = {u = 1}\n", ("t",), "u", 1),  # inside an inline table: the line of the table's key
        ("[[s]]\na = 1\n[[s]]\nb = 2\n[s.m]\nc = 3\n", ("s", "1", "m"), "c", 6),
        ("[[s]]\na = 1\n[[s]]\nb = 2\n[s.m]\nc = 3\n", ("s", "1"), "b", 4),
        ("[[s]]\na = 1\n[[s]]\nb = 2\n[s.m]\nc = 3\n", ("s", "0"), "b", 1),  # not in the first element: its header
        ("x = 1\n", ("nowhere",), "y", None),
    ],
)
def test_lines_of_keys(text, table, key, line):
    assert Lines(text).of(table, key) == line


@pytest.mark.parametrize(
    "table, key, expected",
    [
        (("state", "0", "metadata"), "molality", "state[1].metadata.molality"),
        (("state", "11"), None, "state[12]"),
        ((), "units", "units"),
        (("window", "onsager"), "margin", "window.onsager.margin"),
    ],
)
def test_dotted_names(table, key, expected):
    assert dotted(table, key) == expected


# What a study built over the campaign reports about the campaign's own keys.
@pytest.mark.parametrize(
    "call, line, key",
    [
        (lambda c: c.state_error(0, "temperature", "too hot"), 28, "state[1].temperature"),
        (lambda c: c.state_error(1, "temperature", "too hot"), 34, "state[2].temperature"),  # absent: its header
        (lambda c: c.metadata_error(0, "molality", "too hot"), 32, "state[1].metadata.molality"),
        (lambda c: c.error(("species", "water"), "charge", "too hot"), 12, "species.water.charge"),
        (lambda c: c.error(("koh",), "model", "too hot"), None, "koh.model"),
    ],
)
def test_errors_a_study_raises_name_the_campaigns_lines(folder, call, line, key):
    path = written(folder, FULL)
    error = call(load_campaign(path))
    assert isinstance(error, CampaignError)
    assert str(error) == f"{path}{f':{line}' if line else ''}: {key}: too hot"


@pytest.mark.parametrize(
    "change, line",
    [
        (("viscosity = 8.9e-4", "viscosity = 0"), 2),
        (("viscosity = 9e-4", "viscosity = -9e-4"), 29),
    ],
)
def test_a_viscosity_must_be_positive(folder, change, line):
    path = written(folder, FULL.replace(*change, 1))
    with pytest.raises(CampaignError, match="viscosity: must be positive") as caught:
        load_campaign(path)
    assert str(caught.value).startswith(f"{path}:{line}:")
