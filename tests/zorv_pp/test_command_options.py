"""Command-line options: fit settings from --window items, NAME=VALUE pairs, the output folder, run folders
grouped into states, and the window settings they all build on."""

import errno
import os

import pytest

from zorv_pp import cli
from zorv_pp.command import options
from zorv_pp.command.analyze import state_jobs
from zorv_pp.command.options import UsageError, check_output_folder, missing_counts_hint, pairs, window_settings
from zorv_pp.msdfit.window import Window, windows_for
from zorv_pp.properties import fit_groups

D = Window()


@pytest.mark.parametrize(
    "items, expected",
    [
        (None, None),
        ([], None),
        (["margin=0.2"], {"default": Window(margin=0.2)}),
        (
            ["min_window=5", "max_window=40", "method=window"],
            {"default": Window(min_window=5, max_window=40, method="window")},
        ),
        (["onsager.max_error=0.3"], {"default": D, "onsager": Window(max_error=0.3)}),
        # A group's settings start from the common ones, whatever the order they are given in.
        (
            ["onsager.start=1e-12", "margin=0.05", "onsager.end=1e-11"],
            {"default": Window(margin=0.05), "onsager": Window(margin=0.05, start=1e-12, end=1e-11)},
        ),
        (["margin=0.1", "margin=0.3"], {"default": Window(margin=0.3)}),  # the last one given wins
        (
            ["shear_viscosity.min_displacement=1e-3", "self_diffusion.method=window"],
            {"default": D, "shear_viscosity": Window(min_displacement=1e-3), "self_diffusion": Window(method="window")},
        ),
    ],
)
def test_window_items(items, expected):
    assert window_settings(items) == expected


@pytest.mark.parametrize(
    "item, message",
    [
        ("margin", "--window must be NAME=VALUE, not 'margin'"),
        ("=0.1", "--window must be NAME=VALUE"),
        ("visc.margin=0.1", "unknown fit group 'visc'"),
        ("self_diffusion.x.margin=0.1", "unknown fit group 'self_diffusion.x'"),
        ("margin=wide", "--window margin=wide: not a number"),
        ("min_window=5.5", "--window min_window=5.5: not a number"),
        ("onsager.max_window=x", "--window onsager.max_window=x: not a number"),
        ("method=lsq", "must be one of gls, window"),
        ("colour=1", "unknown window setting 'colour'"),
        ("start=0", "must be a positive time"),
        ("min_window=-3", "must not be negative"),
    ],
)
def test_bad_window_items(item, message):
    with pytest.raises(UsageError, match=message.replace(".", "\\.").replace("'", "'")):
        window_settings([item])


@pytest.mark.parametrize(
    "items",
    [
        ["start=5e-12", "end=1e-12"],
        ["start=5e-12", "onsager.end=1e-12"],  # the common start after a group's end
        ["onsager.start=5e-12", "onsager.end=5e-12"],
    ],
)
def test_a_range_must_end_after_it_starts(items):
    with pytest.raises(UsageError, match="'end' .* must be after 'start'"):
        window_settings(items)


@pytest.mark.parametrize(
    "values, convert, expected",
    [
        (None, float, {}),
        (["K=1", "OH=-1", "water=0"], float, {"K": 1.0, "OH": -1.0, "water": 0.0}),
        (["K=20", "K=30"], int, {"K": 30}),
        (["K=K+", "OH=a=b"], str, {"K": "K+", "OH": "a=b"}),  # split at the first '='
        (["K="], str, {"K": ""}),
    ],
)
def test_pairs(values, convert, expected):
    assert pairs(values, convert, "--count") == expected


@pytest.mark.parametrize(
    "values, convert, message",
    [
        (["K"], int, "--count must be NAME=VALUE, not 'K'"),
        (["=3"], int, "--count must be NAME=VALUE, not '=3'"),
        (["K=2.5"], int, "--count 'K=2.5': '2.5' is not a valid value"),
        (["K=1", "OH=minus"], float, "--count 'OH=minus': 'minus' is not a valid value"),
    ],
)
def test_bad_pairs(values, convert, message):
    with pytest.raises(UsageError) as caught:
        pairs(values, convert, "--count")
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "campaign, parts",
    [
        (False, ["no molecule count for species K, OH: give --count K=N --count OH=N, or --group SPECIES=GROUP"]),
        (
            True,
            [
                "no molecule count for species K, OH: give each a table [species.K], [species.OH] in the campaign",
                'group = "..."',
                "atoms_per_molecule",
            ],
        ),
    ],
)
def test_missing_counts_hint(campaign, parts):
    hint = missing_counts_hint(["K", "OH"], campaign)
    assert all(part in hint for part in parts)
    assert ("--count" in hint) != campaign


def test_the_output_folder_is_made_with_its_parents(tmp_path):
    out = tmp_path / "a" / "b"
    check_output_folder(out)
    check_output_folder(out)  # an existing folder is fine
    assert out.is_dir() and list(out.iterdir()) == []  # the scratch file is gone


@pytest.mark.parametrize("where, why", [("file", "it is a file"), ("file/below", "")])
def test_an_output_folder_in_the_way_of_a_file(tmp_path, where, why):
    (tmp_path / "file").write_text("keep me")
    with pytest.raises(UsageError, match=f"cannot write the output folder {tmp_path / where}: {why}"):
        check_output_folder(tmp_path / where)
    assert (tmp_path / "file").read_text() == "keep me"


def test_an_unwritable_output_folder(tmp_path, monkeypatch):
    locked = tmp_path / "locked"
    locked.mkdir(mode=0o500)
    if os.geteuid() == 0:  # root writes into any folder: the refusal a user would meet, by hand

        def refused(**kwargs):
            raise PermissionError(errno.EACCES, os.strerror(errno.EACCES), str(locked))

        monkeypatch.setattr(options.tempfile, "TemporaryFile", refused)
    with pytest.raises(UsageError, match=f"cannot write the output folder {locked}: Permission denied$"):
        check_output_folder(locked)


def parsed(*arguments):
    return cli.build_parser().parse_args(["analyze", *arguments])


@pytest.fixture
def runs(tmp_path):
    for run in ("m2/rep1", "m2/rep2", "m4/rep1"):
        (tmp_path / run).mkdir(parents=True)
    (tmp_path / "c.toml").write_text(
        '[species.K]\ncharge = 1\n[window]\nmargin = 0.2\n[[state]]\nruns = ["m2/rep*"]\n[[state]]\nruns = ["m4/*"]\n'
    )
    return tmp_path


def test_run_folders_grouped_into_states_with_their_options(runs):
    paths = [str(runs / r) for r in ("m2/rep2", "m4/rep1", "m2/rep1")]
    jobs, windows, campaign = state_jobs(
        parsed(
            *paths,
            "--charge",
            "K=1",
            "--count",
            "K=20",
            "--group",
            "W=OW",
            "--temperature",
            "300",
            "--viscosity",
            "9e-4",
            "--run-length",
            "1e6",
            "--density-unit",
            "kg/m^3",
            "--units",
            "metal",
            "--window",
            "margin=0.3",
        )
    )
    assert not campaign and windows == {"default": Window(margin=0.3)}
    assert [(job.name, list(job.runs)) for job in jobs] == [("m2", [paths[0], paths[2]]), ("rep1", [paths[1]])]
    job = jobs[0]
    assert (job.charges, job.counts, job.groups) == ({"K": 1.0}, {"K": 20}, {"W": "OW"})
    assert (job.temperature, job.viscosity, job.run_length, job.density_unit, job.units) == (
        300.0,
        9e-4,
        1e6,
        "kg/m^3",
        "metal",
    )


@pytest.mark.parametrize(
    "paths, states",
    [
        (["m2/rep1", "m2/rep1/../rep2"], [("m2", ["m2/rep1", "m2/rep1/../rep2"])]),  # grouped by the real folder
        (["./m2/rep2", "m4/rep1", "m2/rep1"], [("m2", ["m2/rep2", "m2/rep1"]), ("rep1", ["m4/rep1"])]),
        (["m4/rep1"], [("rep1", ["m4/rep1"])]),
    ],
)
def test_relative_run_folders_grouped_by_the_folder_holding_them(runs, monkeypatch, paths, states):
    monkeypatch.chdir(runs)
    jobs, _, _ = state_jobs(parsed(*paths))
    assert [(job.name, list(job.runs)) for job in jobs] == states


@pytest.mark.parametrize("window, margins", [([], 0.2), (["margin=0.05"], 0.05)])
def test_a_campaign_file_gives_its_states_and_windows(runs, window, margins):
    items = [part for item in window for part in ("--window", item)]
    jobs, windows, campaign = state_jobs(parsed(str(runs / "c.toml"), *items))
    assert campaign and [job.name for job in jobs] == ["m2", "m4"]
    assert jobs[0].runs and all(os.path.isabs(r) for job in jobs for r in job.runs)
    assert {w.margin for w in windows_for(windows).values()} == {margins}  # --window replaces [window]


@pytest.mark.parametrize(
    "arguments, message",
    [
        (["@c.toml", "@m2/rep1"], "either one campaign file or run folders, not both"),
        (["@c.toml", "@c.toml"], "either one campaign file or run folders, not both"),
        (
            ["@c.toml", "--charge", "K=1"],
            r"--charge applies to run folders; a campaign file sets it itself \(\[species",
        ),
        (["@c.toml", "--run-length", "5"], r"--run-length applies to run folders; .* \(run_length =\)"),
        (["@c.toml", "--density-unit", "kg/m3"], r"--density-unit applies to run folders"),
        (["@c.toml", "--units", "real"], r"--units applies to run folders; .* \(units =\)"),
        (["@m2/rep1", "@m2/rep9", "@m4/none"], "not a run folder: .*m2/rep9, .*m4/none$"),
        (["@m2/rep1", "--density-unit", "lb/ft3"], "--density-unit lb/ft3: not a unit of density.dat"),
        (["@m2/rep1", "@m2/../m2/rep1"], "given twice"),
    ],
)
def test_refused_combinations(runs, arguments, message):
    paths = [str(runs / a[1:]) if a.startswith("@") else a for a in arguments]  # "@": beside the runs
    with pytest.raises(UsageError, match=message):
        state_jobs(parsed(*paths))


# Window settings one at a time: (settings, base) → the Window, or the error.
@pytest.mark.parametrize(
    "settings, base, expected",
    [
        ({}, None, D),
        ({"margin": 0}, None, Window(margin=0.0)),
        ({"min_window": 3, "max_window": 0}, None, Window(min_window=3, max_window=0)),
        ({"max_error": 1}, Window(margin=0.3), Window(margin=0.3, max_error=1.0)),
        ({"end": 2e-11}, Window(start=1e-12), Window(start=1e-12, end=2e-11)),
        ({"method": "window"}, Window(method="gls", max_error=0.4), Window(method="window", max_error=0.4)),
    ],
)
def test_window_from_mapping(settings, base, expected):
    window = Window.from_mapping(settings, base)
    assert window == expected
    assert all(type(getattr(window, k)) is type(getattr(expected, k)) for k in settings)  # 0 becomes 0.0


@pytest.mark.parametrize(
    "settings, base, message",
    [
        ({"margins": 0.1}, None, "unknown window setting 'margins'"),
        ({"method": "GLS"}, None, "'method' must be one of gls, window, not 'GLS'"),
        ({"margin": "0.1"}, None, "'margin' must be a number"),
        ({"margin": True}, None, "'margin' must be a number"),
        ({"max_window": 60.0}, None, "'max_window' must be a whole number"),
        ({"min_window": -1}, None, "must not be negative"),
        ({"start": 0.0}, None, "'start' must be a positive time"),
        ({"end": -1e-12}, None, "'end' must be a positive time"),
        ({"end": 1e-12}, Window(start=1e-12), r"'end' \(1e-12\) must be after 'start' \(1e-12\)"),
        ({"start": 3e-12}, Window(end=2e-12), r"'end' \(2e-12\) must be after 'start' \(3e-12\)"),
    ],
)
def test_bad_window_settings(settings, base, message):
    with pytest.raises(ValueError, match=message):
        Window.from_mapping(settings, base)


@pytest.mark.parametrize(
    "spec, expected",
    [
        (None, {}),
        (Window(margin=0.2), {group: Window(margin=0.2) for group in fit_groups()}),
        (
            {"default": Window(margin=0.2), "onsager": Window(max_error=0.3)},
            {group: Window(max_error=0.3) if group == "onsager" else Window(margin=0.2) for group in fit_groups()},
        ),
        ({"thermal_conductivity": Window(method="window")}, {"thermal_conductivity": Window(method="window")}),
    ],
)
def test_windows_for(spec, expected):
    assert windows_for(spec) == {group: expected.get(group, D) for group in fit_groups()}


def test_windows_for_an_unknown_group():
    with pytest.raises(ValueError, match=r"unknown fit group\(s\) \['visc'\]"):
        windows_for({"visc": D, "onsager": D})


@pytest.mark.parametrize("window, margin", [(Window(), 0.1), (Window(margin=0.0), 0.0), (Window(margin=0.3), 0.3)])
def test_the_search_margin(window, margin):
    assert window.search_margin == margin


@pytest.mark.parametrize("option", ["--viscosity", "--temperature", "--run-length"])
@pytest.mark.parametrize("value", ["0", "-1e-3", "nan", "inf"])
def test_a_physical_setting_must_be_positive(tmp_path, capsys, option, value):
    (tmp_path / "run").mkdir()
    status = cli.main(["analyze", str(tmp_path / "run"), f"{option}={value}", "--out", str(tmp_path / "out")])
    assert status == 2
    assert f"{option} must be a positive number" in capsys.readouterr().err


def test_a_warning_shared_by_replicas_is_printed_once_per_state_with_relative_paths(capsys):
    from types import SimpleNamespace

    from zorv_pp.command.options import report_warnings
    from zorv_pp.diagnostics import RunWarning

    bends = RunWarning("not_converged", "diffself.dat", "water: still bending")
    runs = [os.path.join(os.getcwd(), "m2", name) for name in ("rep1", "rep2")]
    records = [SimpleNamespace(state="m2", run=run, warnings=(bends,)) for run in runs]
    assert [len(run["warnings"]) for run in report_warnings(records)] == [1, 1]  # results.json keeps every run's
    assert capsys.readouterr().err.splitlines() == [
        "zorv-pp: warning: state m2: m2/{rep1,rep2}: diffself.dat: water: still bending [not_converged]"
    ]
