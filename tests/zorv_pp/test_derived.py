"""Derived values and the combination of replicas: known answers from the exact SI constants, errors
propagated, the fitted runs left as they were, copies counted once."""

import copy
import math

import pytest

from zorv_pp.analysis.derived import carry_flags, derive
from zorv_pp.analysis.estimate import Estimate
from zorv_pp.analysis.record import ValueRecord
from zorv_pp.analysis.run_fit import RunAnalysis
from zorv_pp.analysis.state import combine
from zorv_pp.diagnostics import RunWarning
from zorv_pp.errors import ZorvError
from zorv_pp.units import LJ

K_B = 1.380649e-23
E = 1.602176634e-19
XI = 2.837297
Z95 = 1.959963984540054
T = 300.0
V = 27e-27  # a 3 nm box, m³
COUNTS = {"A": 20, "B": 20, "W": 500}


def run(
    name, values, errors=None, spread=None, temperature=T, volume=V, fingerprint="", warnings=(), flags=None, **kwargs
):
    errors, spread, flags = errors or {}, spread or {}, flags or {}
    records = {
        key: ValueRecord(
            value,
            errors.get(key, math.nan),
            flags.get(key, ()),
            spread=spread.get(key, math.nan),
            has_error=key in errors,
        )
        for key, value in values.items()
    }
    return RunAnalysis(
        name,
        records,
        {"A": "A", "B": "B", "W": "W", ("A", "B"): "A-B"},
        dict(COUNTS),
        temperature,
        volume,
        [],
        fingerprint=fingerprint,
        warnings=tuple(warnings),
        **kwargs,
    )


def yeh_hummer(temperature, volume, eta, k_b=K_B):
    return XI * k_b * temperature / (6.0 * math.pi * eta * volume ** (1.0 / 3.0))


@pytest.mark.parametrize(
    "temperature, volume, eta",
    [
        (300.0, 27e-27, 8.9e-4),
        (350.0, 64e-27, 3.5e-4),
        (250.0, 8e-27, 2.0e-3),
    ],
)
def test_yeh_hummer_with_a_given_viscosity(temperature, volume, eta):
    d_pbc, d_err = 2.0e-9, 0.05e-9
    state = combine(
        [
            run(
                "r1",
                {("self_diffusion_pbc", "A"): d_pbc},
                {("self_diffusion_pbc", "A"): d_err},
                temperature=temperature,
                volume=volume,
            )
        ],
        viscosity=eta,
    )
    corrected = state.estimates[("self_diffusion", "A")]
    assert corrected.mean == pytest.approx(d_pbc + yeh_hummer(temperature, volume, eta), rel=1e-13)
    assert corrected.sem == pytest.approx(d_err, rel=1e-13)  # a given viscosity carries no error
    assert corrected.unit == "m^2/s"


@pytest.mark.parametrize("eta_sems", [(0.0,), (0.4e-4,), (0.5e-4, 0.2e-4)])
def test_the_error_of_the_runs_viscosity_widens_the_corrected_value(eta_sems):
    """The viscosity's error is shared by every run: added in quadrature once the runs are combined."""
    d = [2.0e-9, 2.02e-9][: len(eta_sems)]
    etas = [8.9e-4, 9.0e-4][: len(eta_sems)]
    runs = [
        run(
            f"r{k}",
            {("self_diffusion_pbc", "A"): d[k], ("shear_viscosity", None): etas[k]},
            {("self_diffusion_pbc", "A"): 0.03e-9, ("shear_viscosity", None): eta_sems[k]},
            fingerprint=f"f{k}",
        )
        for k in range(len(d))
    ]
    state = combine(runs)
    eta = state.estimates[("shear_viscosity", None)]
    if len(etas) == 1:
        assert (eta.mean, eta.sem) == (etas[0], eta_sems[0] if eta_sems[0] > 0 else eta.sem)
    correction = yeh_hummer(T, V, eta.mean)
    corrected = state.estimates[("self_diffusion", "A")]
    assert corrected.per_run == pytest.approx([v + correction for v in d], rel=1e-13)
    d_sem = 0.03e-9 / math.sqrt(len(d))  # equal errors; the two values agree within them
    shared = correction * eta.sem / eta.mean if math.isfinite(eta.sem) else 0.0
    assert corrected.sem == pytest.approx(math.hypot(d_sem, shared), rel=1e-12)
    assert corrected.ci95 == pytest.approx(
        (corrected.mean - Z95 * corrected.sem, corrected.mean + Z95 * corrected.sem), rel=1e-12
    )


@pytest.mark.parametrize(
    "charges, sigma",
    [
        ({"A": 1.0, "B": -1.0, "W": 0.0}, 12.0),
        ({"A": 2.0, "B": -1.0, "W": 0.0}, 9.5),
        ({"A": 1.0, "B": -2.0, "W": 0.5}, None),  # no σ: no Haven ratio
    ],
)
def test_nernst_einstein_and_haven_ratio(charges, sigma):
    eta = 8.9e-4
    d = {"A": 1.9e-9, "B": 5.3e-9, "W": 2.3e-9}
    d_err = {"A": 0.04e-9, "B": 0.09e-9, "W": 0.01e-9}
    values = {("self_diffusion_pbc", s): v for s, v in d.items()}
    errors = {("self_diffusion_pbc", s): v for s, v in d_err.items()}
    if sigma is not None:
        values[("electrical_conductivity", None)] = sigma
        errors[("electrical_conductivity", None)] = 0.3
    state = combine([run("r1", values, errors)], charges=charges, viscosity=eta)
    correction = yeh_hummer(T, V, eta)
    weights = {s: E * E / (V * K_B * T) * COUNTS[s] * q * q for s, q in charges.items() if q != 0.0}
    expected = sum(w * (d[s] + correction) for s, w in weights.items())
    # The box's shared flow is one motion in every species' error: that part adds linearly.
    share = {s: 0.3121157 * COUNTS[s] * (correction / d[s]) ** 2 for s in weights}
    own = sum((w * d_err[s]) ** 2 / (1 + share[s]) for s, w in weights.items())
    common = sum(w * d_err[s] * math.sqrt(share[s] / (1 + share[s])) for s, w in weights.items())
    error = math.sqrt(own + common**2)
    ne = state.estimates[("electrical_conductivity_ne", None)]
    assert (ne.mean, ne.sem, ne.unit) == (pytest.approx(expected, rel=1e-12), pytest.approx(error, rel=1e-6), "S/m")
    haven = state.estimates.get(("haven_ratio", None))
    if sigma is None:
        assert haven is None
        return
    ratio = expected / sigma  # H_R = σ_NE / σ
    assert haven.mean == pytest.approx(ratio, rel=1e-12) and haven.unit == "1"
    assert haven.sem == pytest.approx(ratio * math.hypot(0.3 / sigma, error / expected), rel=1e-6)


def test_conductivity_from_onsager_coefficients_fitted_without_charges():
    onsager = {("A", "A"): 3.0e-9, ("A", "B"): -0.4e-9, ("B", "B"): 5.0e-9, ("A", "W"): 1e-9, ("W", "W"): 2e-9}
    charges = {"A": 1.0, "B": -2.0, "W": 0.0}
    state = combine([run("r1", {("onsager", pair): v for pair, v in onsager.items()})], charges=charges, viscosity=1e-3)
    total = sum(COUNTS.values())
    ordered = 3.0e-9 * 1.0 + 5.0e-9 * 4.0 + 2 * (1.0 * -2.0) * -0.4e-9  # Σ_ij q_i q_j L_ij, L symmetric
    expected = E * E / (V * K_B * T) * total * ordered
    assert state.estimates[("electrical_conductivity", None)].mean == pytest.approx(expected, rel=1e-12)


@pytest.mark.parametrize(
    "values, charges",
    [
        ({("self_diffusion_pbc", "A"): 1e-9, ("self_diffusion_pbc", "B"): 1e-9}, {"A": 1.0}),
        ({("onsager", ("A", "B")): 1e-9}, {"B": 1.0}),
    ],
)
def test_a_species_without_a_charge_is_named(values, charges):
    with pytest.raises(ZorvError, match="no charge given for species '(A|B)'"):
        combine([run("r1", values)], charges=charges, viscosity=1e-3)


def test_reduced_units_use_a_boltzmann_constant_of_one():
    state = combine(
        [run("r1", {("self_diffusion_pbc", "A"): 0.05}, temperature=1.5, volume=1000.0, style=LJ)], viscosity=2.0
    )
    corrected = state.estimates[("self_diffusion", "A")]
    assert corrected.mean == pytest.approx(0.05 + yeh_hummer(1.5, 1000.0, 2.0, k_b=1.0), rel=1e-13)
    assert corrected.unit == "reduced (lj)"


@pytest.mark.parametrize("volume", [V, math.nan])  # without a volume the corrected values are flagged
def test_combining_leaves_the_fitted_runs_as_they_were(volume):
    runs = [
        run(
            f"r{k}",
            {
                ("self_diffusion_pbc", "A"): 2e-9 + k * 1e-11,
                ("self_diffusion_pbc", "B"): 5e-9,
                ("electrical_conductivity", None): 10.0,
                ("shear_viscosity", None): 9e-4,
            },
            {
                ("self_diffusion_pbc", "A"): 1e-11,
                ("self_diffusion_pbc", "B"): 1e-11,
                ("electrical_conductivity", None): 0.2,
                ("shear_viscosity", None): 1e-5,
            },
            {("self_diffusion_pbc", "A"): 1e-10},
            fingerprint=f"f{k}",
            flags={("self_diffusion_pbc", "A"): ("not_converged",)},
            volume=volume,
        )
        for k in range(3)
    ]
    runs.append(copy.deepcopy(runs[0]))  # a copy, left out with a warning
    before = copy.deepcopy(runs)
    state = combine(runs, charges={"A": 1.0, "B": -1.0, "W": 0.0})
    assert ("haven_ratio", None) in state.estimates
    assert ("no_volume" in state.estimates[("self_diffusion", "B")].flags) == math.isnan(volume)
    assert repr(runs) == repr(before)  # every field, a NaN volume too (NaN is never == itself)
    again = combine(runs, charges={"A": 1.0, "B": -1.0, "W": 0.0})
    assert repr(again.estimates) == repr(state.estimates)  # nothing of the first call stuck to the runs


@pytest.mark.parametrize(
    "fingerprints, names, kept, message",
    [
        (["x", "x"], ["s/r1", "s/r1"], ["s/r1"], "the same run folder given twice"),
        (["x", "x", "y"], ["s/r1", "s/r2", "s/r3"], ["s/r1", "s/r3"], "the same tables as s/r1"),
        (["", ""], ["s/r1", "s/r2"], ["s/r1", "s/r2"], None),  # no fingerprint: nothing to compare
    ],
)
def test_a_copy_of_a_run_counts_once(fingerprints, names, kept, message):
    runs = [
        run(name, {("density", None): 1000.0 + k}, fingerprint=fp)
        for k, (fp, name) in enumerate(zip(fingerprints, names, strict=True))
    ]
    state = combine(runs, name="s")
    assert list(state.runs) == kept
    density = state.estimates[("density", None)]
    assert density.count == len(kept) and density.per_run == tuple(1000.0 + names.index(n) for n in kept)
    codes = [w for warnings in state.warnings.values() for w in warnings if w.code == "duplicate_run"]
    if message is None:
        assert not codes
    else:
        (warning,) = codes
        assert warning.message.startswith(message)


@pytest.mark.parametrize(
    "file, flagged",
    [
        ("diffself.dat", {"self_diffusion_pbc", "self_diffusion"}),
        ("viscosity.dat", {"shear_viscosity", "self_diffusion"}),
        ("log.lammps", {"self_diffusion_pbc", "self_diffusion", "shear_viscosity", "density"}),
        (None, {"self_diffusion_pbc", "self_diffusion", "shear_viscosity", "density"}),
        ("density.dat", {"density"}),
    ],
)
def test_a_file_warning_flags_the_values_computed_from_that_file(file, flagged):
    warning = RunWarning("skipped_rows", file, "two rows skipped")
    values = {("self_diffusion_pbc", "A"): 2e-9, ("shear_viscosity", None): 9e-4, ("density", None): 1000.0}
    errors = {("self_diffusion_pbc", "A"): 1e-11, ("shear_viscosity", None): 1e-5}
    state = combine([run("r1", values, errors, warnings=[warning])])
    assert {prop for (prop, _), e in state.estimates.items() if "skipped_rows" in e.flags} == flagged


# Flags of a, b, c (c derived from b, b from a; d from a key with no estimate) → what each carries.
@pytest.mark.parametrize(
    "own, carried",
    [
        ({"a": ("not_converged",)}, {"a", "b", "c"}),  # from a value to everything derived from it
        ({"b": ("poor_fit",)}, {"b", "c"}),  # not backwards to a source
        ({"c": ("window_sensitive",)}, {"c"}),
        ({"a": ("replicas_disagree", "skipped_rows")}, set()),  # not a fit's flag: it stays where it is
        ({"a": ("no_diffusive_regime",), "b": ("not_converged",)}, {"a", "b", "c"}),
    ],
)
def test_fit_flags_run_from_a_value_to_what_derives_from_it(own, carried):
    estimates = {(name, None): Estimate(1.0, 0.1, 0.1, 1, "m", flags=own.get(name, ())) for name in "abcd"}
    sources = {("b", None): (("a", None),), ("c", None): (("b", None),), ("d", None): (("missing", None),)}
    result = carry_flags(estimates, sources)
    fit_flags = {"not_converged", "poor_fit", "window_sensitive", "no_diffusive_regime"}
    assert {name for (name, _), e in result.items() if fit_flags & set(e.flags)} == carried
    assert all(set(estimates[k].flags) <= set(e.flags) for k, e in result.items())  # nothing is dropped


def test_a_periodic_box_values_flags_reach_the_derived_values_of_a_state():
    values = {
        ("self_diffusion_pbc", "A"): 2e-9,
        ("self_diffusion_pbc", "B"): 5e-9,
        ("electrical_conductivity", None): 10.0,
    }
    errors = {key: 1e-12 for key in values}
    flags = {("self_diffusion_pbc", "A"): ("not_converged",), ("self_diffusion_pbc", "B"): ("poor_fit",)}
    state = combine([run("r1", values, errors, flags=flags)], charges={"A": 1.0, "B": -1.0}, viscosity=1e-3)
    flagged = {key: set(e.flags) for key, e in state.estimates.items() if e.flags}
    assert flagged == {
        ("self_diffusion_pbc", "A"): {"not_converged"},
        ("self_diffusion", "A"): {"not_converged"},
        ("self_diffusion_pbc", "B"): {"poor_fit"},
        ("self_diffusion", "B"): {"poor_fit"},
        ("electrical_conductivity_ne", None): {"not_converged", "poor_fit"},
        ("haven_ratio", None): {"not_converged", "poor_fit"},
    }


FITTED = {("self_diffusion_pbc", "A"): 2e-9, ("self_diffusion_pbc", "B"): 5e-9}
WITH_SIGMA = {**FITTED, ("electrical_conductivity", None): 10.0}
WITH_ONSAGER = {**FITTED, ("onsager", ("A", "A")): 3e-9, ("onsager", ("A", "B")): -4e-10, ("onsager", ("B", "B")): 5e-9}


@pytest.mark.parametrize("flag", ["not_converged", "window_sensitive", "no_diffusive_regime", "poor_fit"])
@pytest.mark.parametrize(
    "values, source, derived",
    [
        (WITH_SIGMA, ("self_diffusion_pbc", "A"), ("self_diffusion", "A")),
        (WITH_SIGMA, ("self_diffusion_pbc", "B"), ("electrical_conductivity_ne", None)),
        (WITH_SIGMA, ("self_diffusion_pbc", "A"), ("haven_ratio", None)),
        (WITH_SIGMA, ("electrical_conductivity", None), ("haven_ratio", None)),
        (WITH_ONSAGER, ("onsager", ("A", "B")), ("electrical_conductivity", None)),
        (WITH_ONSAGER, ("onsager", ("B", "B")), ("haven_ratio", None)),
    ],
)
def test_a_runs_derived_value_carries_its_sources_fit_flags(values, source, derived, flag):
    fitted = run("r1", values, {key: 1e-12 for key in values}, flags={source: (flag,)})
    records = derive(fitted, Estimate(1e-3, 0.0, 0.0, 1, "Pa s"), {"A": 1.0, "B": -1.0}).run.records
    assert flag in records[derived].flags


T3 = 3.182446305284263  # Student t, 97.5 %, 3 degrees of freedom
T1 = 12.706204736174705


# values → mean, population std, sem, count, 95 % half-width.
@pytest.mark.parametrize(
    "values, mean, std, sem, count, half",
    [
        ([1.0, 2.0, 3.0, 4.0], 2.5, math.sqrt(1.25), math.sqrt(1.25 / 3), 4, T3 * math.sqrt(1.25 / 3)),
        ([5.0, math.nan, 7.0], 6.0, 1.0, 1.0, 2, T1 * 1.0),
        ([5.0], 5.0, 0.0, math.nan, 1, math.nan),
        ([math.nan], math.nan, math.nan, math.nan, 0, math.nan),
    ],
)
def test_estimate_of_replicas_without_errors(values, mean, std, sem, count, half):
    estimate = Estimate.of(values, "K", ["short_table", "short_table"])
    assert (estimate.mean, estimate.std, estimate.sem, estimate.count) == pytest.approx(
        (mean, std, sem, count), nan_ok=True, rel=1e-12
    )
    assert estimate.ci95 == pytest.approx((mean - half, mean + half), nan_ok=True, rel=1e-12)
    assert estimate.flags == ("short_table",) and len(estimate.per_run) == len(values)


# values, sems → mean, sem, count, whether the replicas are flagged as disagreeing.
@pytest.mark.parametrize(
    "values, sems, mean, sem, count, disagree",
    [
        # The narrow run weighs as the median error, 1.5: inverse-variance weights 1/2.25 and 1/4.
        ([1.0, 2.0], [1.0, 2.0], 1.36, math.sqrt(1 / 2.25**2 + 4 / 16) / (1 / 2.25 + 1 / 4), 2, False),
        ([0.0, 2.5], [1.0, 1.0], 1.25, 1.25, 2, False),  # Birge ratio 1.77 widens the error...
        ([0.0, 10.0], [1.0, 1.0], 5.0, 5.0, 2, True),  # ...and beyond chance, flags the replicas
        ([1.0, math.nan, 3.0], [1.0, 1.0, 1.0], 2.0, math.sqrt(2.0) / math.sqrt(2.0), 2, False),
        ([1.0, 9.0, 3.0], [1.0, math.nan, 1.0], 2.0, 1.0, 3, False),  # no error: no weight, but a finite value
        ([4.0], [0.5], 4.0, 0.5, 1, False),
        ([2.0, 2.0], [0.0, 0.0], 2.0, 0.0, 2, False),  # exact values: no error at all
    ],
)
def test_estimate_from_runs_with_their_errors(values, sems, mean, sem, count, disagree):
    estimate = Estimate.from_runs(values, sems, "m", window_spread=[0.1] * len(values), fit_start=[1e-12] * len(values))
    assert (estimate.mean, estimate.sem, estimate.count) == pytest.approx((mean, sem, count), rel=1e-12)
    assert estimate.ci95 == pytest.approx((mean - Z95 * sem, mean + Z95 * sem), rel=1e-12)
    assert ("replicas_disagree" in estimate.flags) == disagree
    assert estimate.per_run_sem == tuple(sems) or math.isnan(sems[1])
    assert estimate.window_spread == (0.1,) * len(values) and estimate.fit_start == (1e-12,) * len(values)


@pytest.mark.parametrize("replicas, copied", [(2, False), (3, True)])
def test_a_value_read_off_a_grid_keeps_the_grids_error_however_many_replicas_agree(replicas, copied):
    key = ("rdf_peak_position", ("A", "W"))
    tables = [{"rdf": "same" if copied else f"t{k}"} for k in range(replicas)]
    runs = [
        run(f"s/r{k}", {key: 2.8e-10}, floors={key: 1e-12}, fingerprint=f"f{k}", table_fingerprints=tables[k])
        for k in range(replicas)
    ]
    state = combine(runs, name="s")
    position = state.estimates[key]
    assert position.sem == pytest.approx(1e-12) and position.ci95[1] - position.ci95[0] >= 2 * Z95 * 1e-12 * 0.999
    copied_warnings = [(r, w) for r, found in state.warnings.items() for w in found if w.code == "copied_table"]
    if not copied:
        assert not copied_warnings and "copied_table" not in position.flags
    else:  # once per state, on one run, naming the table and every run holding it
        ((where, warning),) = copied_warnings
        assert where == "s/r1" and warning.file == "rdf.dat" and "s/r0, s/r1, s/r2" in warning.message
        assert "copied_table" in position.flags
