"""The zorv-pp command and campaign files: outputs, exit status, errors that say where."""

import json
import os
import subprocess
import sys

import pytest

import zorv_pp
from zorv_pp import CampaignError, cli, synthetic
from zorv_pp.campaign.file import load_campaign
from zorv_pp.command.analyze import state_jobs
from zorv_pp.command.options import window_settings
from zorv_pp.files import write_atomic
from zorv_pp.msdfit.window import windows_for

SPECIES = {
    "K": synthetic.Species(1, 39.0983),
    "OH": synthetic.Species(-1, 17.007),
    "water": synthetic.Species(0, 18.015),
}


def run_spec(seed=0):
    return synthetic.RunSpec(
        counts={"K": 20, "OH": 20, "water": 500},
        self_diffusion={"K": 1.8e-9, "OH": 2.6e-9, "water": 2.1e-9},
        onsager={
            ("K", "K"): 7e-11,
            ("OH", "OH"): 1e-10,
            ("water", "water"): 2e-9,
            ("K", "OH"): 1e-12,
            ("K", "water"): 0.0,
            ("OH", "water"): 0.0,
        },
        noise=0.02,
        rdf_rows=400,
        temperature_rows=20,
        seed=seed,
    )


@pytest.fixture(scope="module")
def campaign(tmp_path_factory):
    root = tmp_path_factory.mktemp("campaign")
    states = [synthetic.CampaignState(f"m{m}", run_spec(10 * k), {"molality": m}) for k, m in enumerate((1.0, 3.0))]
    synthetic.write_campaign(root, states=states, replicas=2, species=SPECIES)
    return root


def test_campaign_gives_results_and_figures(campaign, tmp_path):
    assert cli.main(["analyze", str(campaign / "campaign.toml"), "--out", str(tmp_path)]) == 0
    document = json.loads((tmp_path / "results.json").read_text())
    rows = document["rows"]
    assert {r["state"] for r in rows} == {"m1.0", "m3.0"}
    sigma = [r for r in rows if r["property"] == "electrical_conductivity" and r["state"] == "m1.0"][0]
    assert sigma["count"] == 2 and sigma["unit"] == "S/m" and len(sigma["per_run"]) == 2
    assert len(sigma["fit_p"]) == 2 and all(0.0 < p <= 1.0 for p in sigma["fit_p"])  # each run's own fit
    assert document["states"]["m3.0"]["metadata"]["molality"] == 3.0
    header = (tmp_path / "results.csv").read_text().splitlines()[0]
    assert (
        header == "state,property,species,mean,std,sem,count,unit,per_run,ci95_low,ci95_high,per_run_sem,"
        "window_spread,fit_start,fit_p,flags,mean_rounded,sem_rounded,ci95_rounded"
    )
    for name in ("m1.0_msd_diffusion.png", "m3.0_msd_onsager.png", "m1.0_slope.png", "summary.png"):
        assert (tmp_path / "figures" / name).read_bytes()[:4] == b"\x89PNG"
    assert "<html" in (tmp_path / "report.html").read_text()
    assert not [p for p in tmp_path.iterdir() if p.name.startswith(".")]  # no temporary left behind
    assert (tmp_path / "results.csv").stat().st_mode & 0o044 == 0o044  # readable by others, like open() gives


@pytest.mark.slow
def test_jobs_give_the_same_results(campaign, tmp_path):
    outputs = []
    for jobs in ("1", "2"):
        out = tmp_path / jobs
        assert (
            cli.main(["analyze", str(campaign / "campaign.toml"), "--out", str(out), "--jobs", jobs, "--no-figures"])
            == 0
        )
        outputs.append((out / "results.csv").read_text())
    assert outputs[0] == outputs[1]


def test_a_failed_run_is_reported_and_the_rest_analysed(campaign, tmp_path, capsys):
    broken = tmp_path / "state"
    for k in (1, 2):
        synthetic.write_run(broken / f"rep{k}", run_spec(k))
    (broken / "rep2" / "viscosity.dat").write_bytes(b"\xff\xfe")
    status = cli.main(
        [
            "analyze",
            str(broken / "rep1"),
            str(broken / "rep2"),
            "--out",
            str(tmp_path / "out"),
            "--no-figures",
            "--charge",
            "K=1",
            "--charge",
            "OH=-1",
            "--charge",
            "water=0",
        ]
    )
    assert status == 1
    assert f"{broken / 'rep2'}: viscosity.dat: " in capsys.readouterr().err
    document = json.loads((tmp_path / "out" / "results.json").read_text())
    assert document["failures"][0]["file"] == "viscosity.dat"
    assert {r["count"] for r in document["rows"] if r["property"] == "self_diffusion_pbc"} == {1}


@pytest.mark.parametrize(
    "arguments",
    [
        [],
        ["analyze"],
        ["analyze", "/no/such/run"],
        ["analyze", "x.toml", "y"],
        ["analyze", ".", "--jobs", "0"],
        ["analyze", ".", "--window", "margin=wide"],
        ["analyze", ".", "--window", "viscosity.margin=0.1"],
        ["analyze", ".", "--units", "cgs"],
        ["analyze", ".", "--window", "start=-1"],
        ["analyze", ".", "--window", "start=5", "--window", "end=2"],
        ["analyze", ".", "--window", "onsager.end=soon"],
    ],
)
def test_usage_errors_exit_2(arguments, capsys):
    assert cli.main(arguments) == 2
    assert "zorv-pp" in capsys.readouterr().err


@pytest.mark.slow
def test_the_installed_command_line(campaign, tmp_path):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run(
        [
            sys.executable,
            "-m",
            "zorv_pp",
            "analyze",
            str(campaign / "campaign.toml"),
            "--out",
            str(tmp_path),
            "--no-figures",
        ],
        env=env,
        capture_output=True,
        text=True,
    )
    assert done.returncode == 0, done.stderr
    assert "results:" in done.stdout


CAMPAIGN = """units = "real"
[species.K]
charge = 1
[window]
margin = 0.1
[[state]]
name = "a"
runs = ["m1.0/rep*"]
temperature = 300.0
"""


@pytest.mark.parametrize(
    "change, line, key, message",
    [
        (('runs = ["m1.0/rep*"]', 'runs = ["nothing/*"]'), 8, "state[1].runs", "no run folder matches"),
        (("temperature = 300.0", 'temperature = "hot"'), 9, "state[1].temperature", "must be a number"),
        (("charge = 1", 'charge = "plus"'), 3, "species.K.charge", "must be a number"),
        (("charge = 1", "colour = 1"), 3, "species.K.colour", "unknown key"),
        (("margin = 0.1", 'margin = "x"'), 5, "window.margin", "must be a number"),
        (('units = "real"', 'units = "cgs"'), 1, "units", "unsupported LAMMPS unit style 'cgs'"),
    ],
)
def test_bad_campaigns_name_the_line_and_the_key(campaign, change, line, key, message):
    path = campaign / "bad.toml"
    path.write_text(CAMPAIGN.replace(*change))
    with pytest.raises(CampaignError, match=message) as caught:
        load_campaign(path)
    assert str(caught.value).startswith(f"{path}:{line}: {key}: ")


def test_an_interrupted_write_keeps_the_old_file(tmp_path):
    target = tmp_path / "results.csv"
    target.write_text("old")

    def interrupted(stream):
        stream.write("half")
        raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        write_atomic(target, interrupted)
    assert target.read_text() == "old" and [p.name for p in tmp_path.iterdir()] == ["results.csv"]


@pytest.mark.parametrize(
    "arguments, status, stream, expected",
    [
        ([], 2, "err", ["usage: zorv-pp", "examples:", "exit status:", "analyze"]),
        (["--version"], 0, "out", [f"zorv-pp {zorv_pp.__version__}"]),
        (
            ["analyze", "--help"],
            0,
            "out",
            ["examples:", "exit status:", "(default: 1)", "run folders only", "--format {png,pdf,svg}", "lj"],
        ),
        (["koh", "--help"], 0, "out", ["examples:", "exit status:", "needs a campaign file", "(default: 1)"]),
    ],
)
def test_help_version_and_epilogs(arguments, status, stream, expected, capsys, monkeypatch):
    monkeypatch.setenv("COLUMNS", "200")
    assert cli.main(arguments) == status
    text = getattr(capsys.readouterr(), stream)
    for part in expected:
        assert part in text


def _empty_run(root):
    (root / "s" / "rep1").mkdir(parents=True)
    return [str(root / "s" / "rep1"), "--units", "real"]


def _log_only_run(root):
    synthetic.write_run(root / "s" / "rep1", run_spec())
    for table in (root / "s" / "rep1").glob("*.dat"):
        table.unlink()
    return [str(root / "s" / "rep1")]


def _campaign_of_empty_runs(root):
    (root / "s" / "rep1").mkdir(parents=True)
    (root / "c.toml").write_text('units = "real"\n[[state]]\nruns = ["s/rep*"]\n')
    return [str(root / "c.toml")]


@pytest.mark.parametrize("make", [_empty_run, _log_only_run, _campaign_of_empty_runs])
def test_nothing_analysed_exits_1(make, tmp_path, capsys):
    assert cli.main(["analyze", *make(tmp_path), "--out", str(tmp_path / "out"), "--no-figures"]) == 1
    err = capsys.readouterr().err
    assert "zorv-pp: failed: " in err and "nothing was analysed" in err
    assert json.loads((tmp_path / "out" / "results.json").read_text())["failures"]


@pytest.mark.parametrize(
    "campaign_file, hint",
    [
        (False, "give --count K=N --count OH=N --count water=N, or --group"),
        (True, "[species.K], [species.OH], [species.water] in the campaign file"),
    ],
)
def test_missing_counts_name_every_species_and_the_interface_flag(campaign_file, hint, tmp_path, capsys):
    states = [synthetic.CampaignState("s", run_spec())]
    synthetic.write_campaign(tmp_path, states=states, replicas=1, species=SPECIES)
    (tmp_path / "s" / "rep1" / "log.lammps").unlink()
    paths = [str(tmp_path / "campaign.toml")] if campaign_file else [str(tmp_path / "s" / "rep1"), "--units", "real"]
    assert cli.main(["analyze", *paths, "--out", str(tmp_path / "out"), "--no-figures"]) == 1
    err = capsys.readouterr().err
    assert "no molecule count for species K, OH, water: " in err and hint in err and "counts=" not in err


def test_run_warnings_reach_stderr_and_results_json(tmp_path, capsys):
    run = tmp_path / "s" / "rep1"
    synthetic.write_run(run, run_spec())
    table = run / "diffself.dat"
    table.write_text(table.read_text().rstrip("\n")[:-3])  # cut mid-number, as a crash leaves it
    assert cli.main(["analyze", str(run), "--out", str(tmp_path / "out"), "--format", "svg"]) == 0
    err = capsys.readouterr().err
    assert "zorv-pp: warning: state " in err and f": {run}: diffself.dat: " in err
    document = json.loads((tmp_path / "out" / "results.json").read_text())
    (record,) = document["runs"]
    assert record["run"] == str(run) and "partial_last_row" in [w["code"] for w in record["warnings"]]
    figures = sorted(p.suffix for p in (tmp_path / "out" / "figures").iterdir())
    assert figures and set(figures) == {".svg"}


@pytest.mark.parametrize(
    "items, expected",
    [
        (["start=2e-11"], {"thermal_conductivity": (2e-11, None), "onsager": (2e-11, None)}),
        (
            ["self_diffusion.start=2e-11", "end=4e-10"],
            {"thermal_conductivity": (None, 4e-10), "self_diffusion": (2e-11, 4e-10)},
        ),
        (["method=window", "margin=0.2"], {"onsager": (None, None)}),
    ],
)
def test_window_ranges_reach_their_fit_groups(items, expected):
    found = windows_for(window_settings(items))
    assert {group: (found[group].start, found[group].end) for group in expected} == expected


@pytest.mark.parametrize(
    "layout, expected",
    [
        (["work/wm"], ["wm"]),  # one run: the state is named after its folder, not the folder holding it
        (["m2/rep1", "m2/rep2"], ["m2"]),
        (["m2/rep1", "m4/rep1"], ["rep1", "rep1"]),
    ],
)
def test_states_of_run_folders_are_named_after_their_folders(tmp_path, layout, expected):
    for folder in layout:
        (tmp_path / folder).mkdir(parents=True)
    args = cli.build_parser().parse_args(["analyze", *(str(tmp_path / f) for f in layout)])
    jobs, _, _ = state_jobs(args)
    names = [job.name for job in jobs]
    if len(set(expected)) < len(expected):  # the same name twice: each state is named by its full folder
        assert len(set(names)) == len(names) == len(expected)
    else:
        assert names == expected
