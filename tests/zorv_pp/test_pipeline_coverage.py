"""Known-answer runs written as real folders, read and fitted as a user's would be: the 95 % intervals
of every fitted family, cross and combined curves included, hold the truth."""

import numpy as np
import pytest

import zorv_pp
from zorv_pp.synthetic import OrderNRunSpec, write_ordern_run


def truths(spec, answers):
    found = {("self_diffusion_pbc", n): d for n, d in answers["self_diffusion"].items()}
    found.update({("onsager", tuple(sorted(p))): value for p, value in answers["onsager"].items()})
    for prop in ("shear_viscosity", "thermal_conductivity", "electrical_conductivity"):
        found[(prop, None)] = answers[prop]
    names = sorted(spec.counts)
    if len(names) == 2:
        a, b = names
        x1, x2 = spec.counts[a] / sum(spec.counts.values()), spec.counts[b] / sum(spec.counts.values())
        lam = spec.onsager_coefficient
        found[("maxwell_stefan", (a, b))] = (x2 / x1) * lam(a, a) + (x1 / x2) * lam(b, b) - 2 * lam(a, b)
    return found


@pytest.mark.slow
def test_single_run_intervals_hold_the_truth(tmp_path):
    rng = np.random.default_rng(5)
    z = {}
    for k in range(60):
        spec = OrderNRunSpec.random(rng)
        answers = write_ordern_run(tmp_path / f"run{k}", spec)
        fitted = zorv_pp.fit_run(zorv_pp.Run.load(tmp_path / f"run{k}"), charges=spec.charges)
        for key, truth in truths(spec, answers).items():
            family = key[0] + ("_cross" if key[0] == "onsager" and key[1][0] != key[1][1] else "")
            z.setdefault(family, []).append((fitted.values[key] - truth) / fitted.errors[key])
    assert set(z) >= {
        "self_diffusion_pbc",
        "onsager",
        "onsager_cross",
        "shear_viscosity",
        "thermal_conductivity",
        "electrical_conductivity",
        "maxwell_stefan",
    }
    pooled = np.concatenate([np.asarray(v) for v in z.values()])
    assert 0.92 <= np.mean(np.abs(pooled) < 1.96) <= 0.99
    for family, scores in z.items():  # no family is far off, nor a NaN error
        assert np.mean(np.abs(scores) < 1.96) >= 0.85, family
