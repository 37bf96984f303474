"""Figures: each run in its own colour with fit, band and range; honest signs and scales; 95 % intervals."""

import math
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("_zorv_pp")
pytest.importorskip("matplotlib")
from layout_checks import check_layout  # noqa: E402
from matplotlib.collections import PolyCollection  # noqa: E402
from matplotlib.container import Container  # noqa: E402
from matplotlib.lines import Line2D  # noqa: E402
from matplotlib.patches import Patch  # noqa: E402

import zorv_pp  # noqa: E402
import zorv_pp.figures.convergence as convergence_module  # noqa: E402
import zorv_pp.figures.msd as msd_module  # noqa: E402
import zorv_pp.figures.slope as slope_module  # noqa: E402
import zorv_pp.figures.summary as summary_module  # noqa: E402
import zorv_pp.koh.figures as koh_figures  # noqa: E402
from zorv_pp import Estimate, StateResult  # noqa: E402
from zorv_pp.analysis.run_fit import Curve  # noqa: E402
from zorv_pp.figures import draw_all, slope_figure, state_figure, summary_figure  # noqa: E402
from zorv_pp.figures.convergence import convergence_figure  # noqa: E402
from zorv_pp.figures.slope import running  # noqa: E402
from zorv_pp.koh import compare  # noqa: E402

RUNS = 3
TIME = list(np.geomspace(1.0, 1e5, 40))


def curve(prop, label, slope, run, band=True):
    values = [slope * t + 0.05 * slope * t * math.sin(run + t) for t in TIME]
    t_fit = TIME[10:]
    fit = [slope * t for t in t_fit]
    return Curve(
        prop,
        label,
        TIME,
        values,
        t_fit,
        fit,
        slope * 1e-5,
        1e-15,
        1e-20,
        "m^2",
        [abs(0.02 * f) for f in fit] if band else [],
        run,
    )


def estimate(values, unit="m^2/s"):
    return Estimate.from_runs(values, [abs(v) * 0.02 for v in values], unit)


def state(name="s", molality=2.0, runs=RUNS, scale=1.0):
    per = lambda v: [v * scale * (1 + 0.01 * k) for k in range(runs)]  # noqa: E731
    estimates = {
        ("self_diffusion_pbc", "A"): estimate(per(2e-9)),
        ("self_diffusion", "A"): estimate(per(2.2e-9)),
        ("onsager", ("A", "A")): estimate(per(1.5e-9)),
        ("onsager", ("A", "B")): estimate(per(-1e-11)),
        ("maxwell_stefan", ("A", "B")): estimate(per(3e-9)),
        ("shear_viscosity", None): estimate(per(1.1e-3), "Pa s"),
        ("density", None): Estimate.of(per(1000.0), "kg/m^3"),
    }
    curves = tuple(
        (curve("self_diffusion_pbc", "A", 2.0, k), curve("onsager", "A-B", -0.5, k, band=k != 1)) for k in range(runs)
    )
    return StateResult(
        name,
        tuple(f"/runs/{name}/rep{k + 1}" for k in range(runs)),
        estimates,
        {"A": "A", ("A", "A"): "A-A", ("A", "B"): "A-B"},
        {"molality": molality, "temperature": 298.15},
        curves,
    )


@pytest.fixture
def drawn(monkeypatch):
    """The figures the drawing functions would save, kept open for inspection."""
    import matplotlib.pyplot as plt

    figures = []

    def keep(figure, path, fmt="png", dpi=150):
        figure.canvas.draw()
        figures.append(figure)
        return path

    for module in (msd_module, slope_module, summary_module, convergence_module, koh_figures):
        monkeypatch.setattr(module, "save", keep)
    yield figures
    plt.close("all")


def data_lines(axis):
    return [line for line in axis.get_lines() if line.get_transform() == axis.transData and len(line.get_xdata())]


def check_axes(figure):
    """Legend entries name drawn artists; no data point lies outside its panel's view; the layout is clean."""
    check_layout(figure)
    legends = list(figure.legends) + [a.get_legend() for a in figure.axes if a.get_legend()]
    drawn_labels = {
        artist.get_label()
        for axis in figure.axes
        for artist in [*axis.get_lines(), *axis.collections, *axis.patches, *axis.containers]
        if shows_data(artist)
    }
    for legend in legends:
        for text in legend.get_texts():
            assert text.get_text() in drawn_labels, text.get_text()
    for axis in figure.axes:
        (x0, x1), (y0, y1) = sorted(axis.get_xlim()), sorted(axis.get_ylim())
        for line in data_lines(axis):
            xs, ys = np.asarray(line.get_xdata(), float), np.asarray(line.get_ydata(), float)
            keep = np.isfinite(xs) & np.isfinite(ys)
            assert np.all((xs[keep] >= x0) & (xs[keep] <= x1)), axis.get_title()
            assert np.all((ys[keep] >= y0) & (ys[keep] <= y1)), axis.get_title()
            if line.get_marker() not in ("None", None, "", " ") and keep.any():  # markers clear of the frame
                assert xs[keep].max() < x1 - 0.01 * (x1 - x0), axis.get_title()
                assert ys[keep].max() < y1 - 0.01 * (y1 - y0), axis.get_title()


def shows_data(artist):
    if isinstance(artist, Line2D):
        xs, ys = np.asarray(artist.get_xdata(), float), np.asarray(artist.get_ydata(), float)
        return bool(np.any(np.isfinite(xs) & np.isfinite(ys)))
    if isinstance(artist, Container):
        return any(shows_data(child) for child in artist.get_children())
    return not isinstance(artist, PolyCollection) or bool(artist.get_paths())


def test_msd_panels_colour_fit_band_and_range_per_run(drawn):
    state_figure(state(), "unused.png")
    figure = drawn[0]
    check_axes(figure)
    diffusion, onsager = figure.axes[:2]
    assert "uncorrected" in diffusion.get_title()
    points = [line for line in data_lines(diffusion) if line.get_marker() not in ("None", "")]
    fits = [line for line in data_lines(diffusion) if line.get_marker() in ("None", "") and line.get_linestyle() == "-"]
    colours = [tuple(line.get_color()) for line in points]
    assert len(set(colours)) == RUNS and sorted(tuple(f.get_color()) for f in fits) == sorted(colours)
    assert sum(isinstance(c, PolyCollection) for c in diffusion.collections) == RUNS
    assert sum(isinstance(c, PolyCollection) for c in onsager.collections) == RUNS - 1  # run 2 has no band
    marks = [line for line in diffusion.get_lines() if line.get_transform() != diffusion.transData]
    assert len(marks) == 2 * RUNS and {tuple(m.get_color()) for m in marks} == set(colours)
    # A negative curve keeps its sign: a linear axis and a fitted line below zero.
    assert onsager.get_yscale() == "linear"
    assert all(np.nanmax(line.get_ydata()) < 0 for line in data_lines(onsager))
    labels = {
        t.get_text()
        for legend in [*figure.legends, *(a.get_legend() for a in figure.axes if a.get_legend())]
        for t in legend.get_texts()
    }
    assert labels == {f"run {k + 1}: rep{k + 1}" for k in range(RUNS)}


@pytest.mark.parametrize(
    "states",
    [[state("a", 2.0), state("b", 4.0, scale=1.1), state("c", 6.0, scale=1.2)], [state("only", 2.0)]],
    ids=["three", "one"],
)
def test_summary_axes_units_and_intervals(drawn, states):
    summary_figure(states, "unused.png")
    figure = drawn[0]
    check_axes(figure)
    titles = [axis.get_title() for axis in figure.axes]
    assert "self-diffusion (Yeh–Hummer corrected)" in titles and "Maxwell–Stefan diffusivity A-B" in titles
    assert {"Onsager A-A", "Onsager A-B"} <= set(titles)
    assert "95 % interval" in figure._suptitle.get_text()
    for axis in figure.axes:
        assert axis.get_xlabel() == "molality (mol/kg)"
        assert axis.yaxis.get_offset_text().get_text() == ""
        x0, x1 = axis.get_xlim()
        for line in data_lines(axis):
            xs = np.asarray(line.get_xdata(), float)
            assert np.all((xs - x0) > 0.05 * (x1 - x0)) and np.all((x1 - xs) > 0.05 * (x1 - x0))
    viscosity = figure.axes[titles.index("shear viscosity")]
    assert viscosity.get_ylabel() == "η (mPa·s)"
    # The bar spans the 95 % interval, not the standard error.
    bars = next(c for c in viscosity.collections if c.get_segments())
    low, high = states[0].estimates[("shear_viscosity", None)].ci95
    assert sorted(bars.get_segments()[0][:, 1]) == pytest.approx([low * 1e3, high * 1e3])
    cross = figure.axes[titles.index("Onsager A-B")]
    assert max(np.nanmax(np.abs(line.get_ydata())) for line in data_lines(cross)) > 1.0  # scaled, not lost


def test_convergence_uses_the_first_k_runs(drawn):
    subject = state()
    convergence_figure(subject, "unused.png")
    figure = drawn[0]
    check_axes(figure)
    axis = figure.axes[[a.get_title() for a in figure.axes].index("shear viscosity")]
    combined = next(c for c in axis.containers if c.get_label() == "first k runs combined").lines[0]
    per_run = subject.estimates[("shear_viscosity", None)]
    expected = [
        Estimate.from_runs(per_run.per_run[:k], per_run.per_run_sem[:k], "Pa s").mean * 1e3 for k in range(1, RUNS)
    ] + [per_run.mean * 1e3]
    assert list(combined.get_xdata()) == list(range(1, RUNS + 1))
    assert list(combined.get_ydata()) == pytest.approx(expected)


@pytest.mark.parametrize("fmt, magic", [("png", b"\x89PNG"), ("pdf", b"%PDF"), ("svg", b"<?xml")])
def test_draw_all_writes_every_format(tmp_path, fmt, magic):
    paths = draw_all([state("a", 2.0), state("b", 4.0)], tmp_path, fmt)
    assert [p.name for p in paths] == [
        f"a_msd.{fmt}",
        f"a_convergence.{fmt}",
        f"b_msd.{fmt}",
        f"b_convergence.{fmt}",
        f"summary.{fmt}",
    ]
    assert all(p.read_bytes().startswith(magic) for p in paths)
    if fmt == "png":
        import matplotlib.image

        height, width = matplotlib.image.imread(paths[-1]).shape[:2]
        assert width >= 150 * 9  # three 4.6-inch columns at 150 dpi at least
    with pytest.raises(ValueError, match="jpg"):
        draw_all([state()], tmp_path, "jpg")


def koh_state(sigma, d_oh=2.0e-9):
    runs = len(sigma)
    of = lambda values, unit: Estimate.from_runs(values, [abs(v) * 0.02 for v in values], unit)  # noqa: E731
    estimates = {
        ("electrical_conductivity", None): of(sigma, "S/m"),
        ("electrical_conductivity_ne", None): of([s * 1.1 for s in sigma], "S/m"),
        **{("self_diffusion", name): of([d_oh] * runs, "m^2/s") for name in ("K", "OH", "water")},
        ("volume", None): Estimate.of([3.0e-26] * runs, "m^3"),
        ("density", None): Estimate.of([1150.0] * runs, "kg/m^3"),
        ("shear_viscosity", None): of([0.8e-3] * runs, "Pa s"),
        ("rdf_peak_position", ("OH", "water")): Estimate.of([2.65e-10] * runs, "m"),
    }
    counts = tuple({"K": 80, "OH": 80, "water": 1000} for _ in range(runs))
    return StateResult("s", tuple(f"r{i}" for i in range(runs)), estimates, {"OH": "OH"}, counts=counts)


@pytest.mark.parametrize("states", [1, 8])
def test_koh_notes_of_any_length_stay_clear_of_other_titles(states, tmp_path):
    # Every state without a deficit is named in two titles; the layout check on saving catches an overlap.
    comparisons = [compare(koh_state([90.0, 91.0]), 298.15 + 35 * (k % 2), 1.0 + 0.5 * k) for k in range(states)]
    koh_figures.summary_figure(comparisons, tmp_path / "summary.png")
    koh_figures.diffusion_figure(comparisons, tmp_path / "diffusion.png")


def test_koh_figures_draw_every_legend_entry_and_no_clipped_point(drawn):
    comparisons = [
        compare(koh_state(sigma), temperature, molality)
        for temperature, molality, sigma in [
            (298.15, 2.0, [27.0, 28.0]),
            (298.15, 5.45, [38.0, 39.0]),
            (333.15, 2.0, [70.0, 71.0]),
            (333.15, 5.45, [70.0, 72.0]),
        ]
    ]
    assert comparisons[2].d_oh_corrected is None  # no deficit: a missing △ to explain
    for draw in (
        koh_figures.conductivity_figure,
        koh_figures.diffusion_figure,
        koh_figures.density_viscosity_figure,
        koh_figures.summary_figure,
    ):
        draw(comparisons, "unused.png")
    for figure in drawn:
        check_axes(figure)
    diffusion = drawn[1].axes[1]
    assert "△" in diffusion.get_title() and "▲" not in diffusion.get_title()
    # Broken to the panel's width, a state's temperature and molality kept on one line.
    assert "no hopping point at 333.15 K, 2 mol/kg: MD conductivity is not below" in " ".join(
        diffusion.get_title().split()
    )
    assert "333.15\u00a0K" in diffusion.get_title()
    density, density_deviation = drawn[2].axes[0], drawn[2].axes[2]
    assert density.containers and not any(c.has_yerr for c in density.containers)  # every replica's ρ: no width
    xs = [float(c.lines[0].get_xdata()[0]) for c in density_deviation.containers]
    assert len(set(xs)) == len(xs) == 4  # two temperatures at one molality side by side, none hidden
    deviation = drawn[3].axes[4]
    legend = deviation.get_legend()
    legend_box = legend.get_window_extent()
    assert not legend_box.overlaps(deviation.get_window_extent())  # eight series: outside the panel


REAL_RUNS = Path(__file__).resolve().parents[3] / "shared" / "data" / "zorv-runs"


@pytest.fixture(scope="module", params=["water-methanol", "lj"])
def real_state(request):
    folder = REAL_RUNS / request.param
    if not folder.is_dir():
        pytest.skip(f"needs the bundled run {folder}")
    return request.param, zorv_pp.analyze([folder], name=request.param)


def test_every_figure_of_a_real_run_is_clean_and_names_its_units(drawn, real_state, tmp_path):
    name, subject = real_state
    paths = draw_all([subject], tmp_path)
    assert [p.stem for p in paths] == [
        f"{name}_msd_{family}" for family in ("diffusion", "onsager", "viscosity", "conductivity")
    ] + [f"{name}_slope", "summary"]  # one run: no convergence figure
    reduced = name == "lj"
    for figure in drawn:
        check_axes(figure)
        for axis in figure.axes:
            labels = axis.get_xlabel() + " " + axis.get_ylabel()
            assert ("reduced lj units" in labels) == reduced, labels
            assert "(s)" not in labels or not reduced and "time" in axis.get_xlabel()
    summary = drawn[-1]
    assert any(axis.get_title().startswith("self-diffusion") and any(data_lines(axis)) for axis in summary.axes)


def test_a_panel_gives_each_fit_its_chi2_p_value(drawn, real_state, tmp_path):
    # A three-walker χ²/dof of 2 is common noise: without its p value a reader cannot tell.
    name, subject = real_state
    draw_all([subject], tmp_path)
    curves = [c for run in subject.curves for c in run if c.dof > 0]
    assert curves and all(0.0 < c.p <= 1.0 for c in curves)
    titles = [axis.get_title() for figure in drawn[:4] for axis in figure.axes if "χ²/dof" in axis.get_title()]
    assert titles and all("(p\u00a0=" in title or "(p\u00a0<" in title for title in titles)


def test_the_running_slope_panel_is_the_fit_from_every_start(drawn, real_state, tmp_path):
    name, subject = real_state
    slope_figure(subject, tmp_path / "slope.png")
    figure = drawn[0]
    curves = [c for run in subject.curves for c in run]
    assert len(figure.axes) == len({(c.property, c.label) for c in curves})
    for axis, curve in zip(figure.axes, curves):
        starts, values, errors = running(curve)
        line = next(line for line in data_lines(axis) if len(line.get_xdata()) > 2)
        xs, ys = np.asarray(line.get_xdata(), float), np.asarray(line.get_ydata(), float)
        index = np.searchsorted(starts, xs)
        assert np.array_equal(starts[index], xs) and len(xs) >= 5  # drawn from the starts themselves
        factor = ys[0] / values[index[0]]  # the axis's display factor, one for the whole line
        assert factor > 0
        for x, y in zip(xs, ys):  # a block boundary's lag is a start twice, with two slopes
            assert np.isclose(values[starts == x] * factor, y, rtol=1e-9).any(), x
        ring = next(line for line in data_lines(axis) if len(line.get_xdata()) == 1)
        assert ring.get_xdata()[0] == pytest.approx(curve.t_fit[0] * curve.time_unit)  # the chosen start
        estimate = subject.estimates[next(k for k in subject.estimates if k[0] == curve.property)]
        assert math.isfinite(estimate.mean) and any(isinstance(p, Patch) for p in axis.patches)  # the state band


def test_the_noise_band_of_a_point_is_the_scatter_of_replica_tables():
    from zorv_pp.analysis.curve_fit import fit_curve
    from zorv_pp.analysis.sampled_curve import SampledCurve
    from zorv_pp.msdfit.window import Window
    from zorv_pp.run.sampling import Sampling
    from zorv_pp.synthetic.ordern import simulate_table

    sampling, rng = Sampling(1.0, 10, 2000.0), np.random.default_rng(3)
    tables = np.array([simulate_table(sampling, 4, 0.5, 2.0, rng)[1] for _ in range(200)])
    time = simulate_table(sampling, 1, 0.5, 2.0, rng)[0]
    found = fit_curve(Window(), sampling, time, tables[0], 4.0)
    # Display factors that cancel only if the band converts the coefficient back to file units.
    curve = SampledCurve(
        "self_diffusion", "A", list(time), list(tables[0]), found.t_fit, found.fit, found.slope * 3.0, 2.0, 6.0,
        "m^2", sampling=sampling, walkers=4.0,
    )  # fmt: skip
    times, deviation = msd_module.point_noise(curve)
    ratio = np.std(tables[:, np.searchsorted(time, times)], axis=0, ddof=1) / deviation
    assert len(ratio) > 10 and 0.9 < np.median(ratio) < 1.1 and np.all((ratio > 0.7) & (ratio < 1.4)), ratio


@pytest.mark.parametrize(
    "label, charges, expected",
    [
        ("K", {"K": 1.0}, "K⁺"),
        ("OH", {"OH": -1.0}, "OH⁻"),
        ("Ca", {"Ca": 2.0}, "Ca²⁺"),
        ("water", {"water": 0.0}, "water"),
        ("K-OH", {"K": 1.0, "OH": -1.0}, "K⁺-OH⁻"),
        ("met-wat", None, "met-wat"),
        ("A", {"B": 1.0}, "A"),
    ],
)
def test_ions_are_named_with_their_charges(label, charges, expected):
    from zorv_pp.figures.common import species_text

    assert species_text(label, charges) == expected


def test_figures_put_charges_on_ion_names(drawn):
    charges = {"A": 1.0, "B": -1.0}
    state_figure(state(), "unused.png", charges=charges)
    summary_figure([state("a", 2.0), state("b", 4.0)], "unused.png", charges=charges)
    msd_titles = [axis.get_title() for axis in drawn[0].axes]
    assert any("A⁺-B⁻" in title for title in msd_titles)
    assert {"Onsager A⁺-A⁺", "Onsager A⁺-B⁻"} <= {axis.get_title() for axis in drawn[1].axes}
    for figure in drawn:
        check_axes(figure)


@pytest.mark.parametrize("width", [4.4, 6.0, 13.2])
def test_a_long_title_stays_inside_the_canvas(width):
    from zorv_pp.figures.common import pyplot, wrapped

    figure = pyplot().figure(figsize=(width, 3.5), layout="constrained")
    figure.add_subplot()
    text = "nol (thermal conductivity): MSD curves by run (points), fitted lines with 95 % band, fitted range between"
    title = figure.suptitle(wrapped(figure, text, 10.5), fontsize=10.5)
    figure.canvas.draw()
    box = title.get_window_extent()
    assert 0 <= box.x0 and box.x1 <= figure.bbox.x1 and box.y1 <= figure.bbox.y1
    pyplot().close(figure)
