"""Runs fitted by several processes come back complete, in order and equal to one process's."""

import pytest

from zorv_pp import synthetic
from zorv_pp.campaign.batch import StateJob, analyze_states

COUNTS = {"K": 20, "OH": 20, "water": 500}


@pytest.fixture(scope="module")
def campaign(tmp_path_factory):
    """Three states of three replicas, the middle one with a folder without a table, and between them a
    state whose folders all fail and one without runs."""
    root = tmp_path_factory.mktemp("campaign")
    jobs = []
    for k in range(3):
        runs = []
        for r in range(3):
            folder = root / f"s{k}r{r}"
            if (k, r) == (1, 1):
                folder.mkdir()
            else:
                synthetic.write_run(
                    folder,
                    synthetic.RunSpec(
                        counts=COUNTS,
                        self_diffusion={"K": 1.8e-9, "OH": 2.6e-9, "water": 2.1e-9},
                        onsager={
                            ("K", "K"): 6e-11,
                            ("OH", "OH"): 9e-11,
                            ("water", "water"): 2e-9,
                            ("K", "OH"): 2e-12,
                            ("K", "water"): -1e-12,
                            ("OH", "water"): -1.5e-12,
                        },
                        temperature=300.0 + 5 * k,
                        rdf_rows=800,
                        temperature_rows=50,
                        seed=10 * k + r,
                    ),
                )
            runs.append(str(folder))
        jobs.append(StateJob(f"state{k}", runs))
        if k == 0:
            (root / "bare0").mkdir()
            (root / "bare1").mkdir()
            jobs += [StateJob("failing", [str(root / "bare0"), str(root / "bare1")]), StateJob("empty", [])]
    return jobs


def _analysed(jobs, processes):
    seen = []
    result = analyze_states(jobs, jobs=processes, progress=False, on_run=seen.append, curves=False)
    order = [getattr(outcome, "run", None) for outcome in seen]
    return repr(result.rows()), [str(f) for f in result.failures], order


@pytest.mark.parametrize("processes", [2, 3, 8])
def test_more_processes_give_what_one_gives_in_the_same_order(campaign, processes):
    rows, failures, order = _analysed(campaign, 1)
    assert len(order) == 11
    # The runs' failures in the order of the runs, then the states' in the order of the states.
    assert [f.split(":")[0] for f in failures] == ["state failing"] * 2 + [
        "state state1",
        "state failing",
        "state empty",
    ]
    assert "bare0" in failures[0] and "s1r1" in failures[2] and "no run" in failures[3]
    assert _analysed(campaign, processes) == (rows, failures, order)
