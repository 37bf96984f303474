"""The campaign report page: self-contained, escaped, and rendered by a real browser without errors."""

import html
import math
import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

pytest.importorskip("_zorv_pp")
pytest.importorskip("matplotlib")
from zorv_pp import __version__  # noqa: E402
from zorv_pp.campaign.batch import Failure, analyze_states, jobs_of  # noqa: E402
from zorv_pp.campaign.file import load_campaign  # noqa: E402
from zorv_pp.figures import state_figure, summary_figure  # noqa: E402
from zorv_pp.msdfit.window import Window  # noqa: E402
from zorv_pp.output.report_page import write_report  # noqa: E402

CAMPAIGN = Path(__file__).resolve().parents[2] / "examples" / "campaign" / "campaign.toml"
HOSTILE = 'row <b>bold</b> & "quoted"'


@pytest.fixture(scope="module")
def report(tmp_path_factory):
    """The report of the bundled campaign, one failure with markup in its message, a PNG and an SVG figure."""
    out = tmp_path_factory.mktemp("report")
    campaign = load_campaign(CAMPAIGN)
    result = analyze_states(jobs_of(campaign)[:2], window=campaign.windows)
    result.failures.append(Failure("m2.0_T298", "rep9", "diffself.dat", HOSTILE))
    figures = [
        summary_figure(result.states, out / "summary.png"),
        state_figure(result.states[0], out / "m2.svg", fmt="svg"),
    ]
    return write_report(out / "report.html", result, figures, {"default": Window(margin=0.2)}), result


def test_page_is_self_contained_and_escaped(report):
    path, result = report
    text = path.read_text(encoding="utf-8")
    assert not re.search(r"<script|<link|(src|href)=\"(?!data:)", text)
    assert text.count('src="data:image/png;base64,') == 1 and text.count('src="data:image/svg+xml;base64,') == 1
    assert HOSTILE not in text and html_escaped(HOSTILE) in text
    assert __version__ in text and "margin" in text and "0.2" in text
    plain = text.replace("<wbr>", "")  # the places a long folder name may wrap
    for state in result.states:
        assert f'id="state-{state.name}"' in text and all(run in plain for run in state.runs)
    assert not list(path.parent.glob(".report.html.*"))  # written atomically: no scratch file left


def html_escaped(text):
    return html.escape(text, quote=True)


def chromium(*args):
    # The browser is no part of the code under test: a sanitizer preloaded into the suite stays out of it.
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
    return subprocess.run(
        ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--enable-logging=stderr", "--v=0", *args],
        capture_output=True,
        text=True,
        timeout=120,
        env=env,
    )


needs_chromium = pytest.mark.skipif(
    shutil.which("chromium") is None, reason="needs chromium (installed in the test root)"
)
# Added to a copy of the page only (the page itself has no script): what the browser laid out, read back
# from the dumped DOM.
PROBE = """<script>
window.addEventListener("load", () => {
  const out = document.createElement("pre");
  out.id = "probe";
  out.textContent = JSON.stringify({
    width: document.documentElement.clientWidth, scroll: document.documentElement.scrollWidth,
    images: [...document.images].map(i => [i.complete && i.naturalWidth > 0, i.getBoundingClientRect().width,
                                           i.width, i.naturalWidth, i.src.startsWith("data:image/svg")]),
    tables: [...document.querySelectorAll("table")].map(t => t.getBoundingClientRect().right)});
  document.body.appendChild(out);
});
</script>"""


def layout(page, tmp_path):
    """What Chromium lays out for ``page`` in a 1,280 px window: widths, images (decoded, width with border,
    shown and natural width, svg), table ends."""
    import json

    probed = tmp_path / f"probed-{page.name}"
    probed.write_text(page.read_text(encoding="utf-8").replace("</body>", PROBE + "</body>"), encoding="utf-8")
    dom = chromium("--dump-dom", "--window-size=1280,1600", "--virtual-time-budget=10000", probed.resolve().as_uri())
    assert dom.returncode == 0, dom.stderr[-2000:]
    found = re.search(r'<pre id="probe">(.*?)</pre>', dom.stdout, re.S)
    assert found, dom.stdout[-2000:]
    return json.loads(html.unescape(found.group(1)))


@needs_chromium
@pytest.mark.parametrize("which", ["report", "koh_page"])
def test_browser_shows_every_figure_wide_and_no_table_past_the_page(which, request, tmp_path):
    from zorv_pp.figures.common import DPI, SMALLEST_TEXT

    path, _ = request.getfixturevalue(which)
    seen = layout(path, tmp_path)
    assert seen["images"] and all(decoded for decoded, *_ in seen["images"]), seen["images"]
    assert all(width >= 600 for _, width, *_ in seen["images"]), seen["images"]
    assert seen["scroll"] <= seen["width"] and all(right <= seen["width"] for right in seen["tables"]), seen
    # The smallest text any figure sets (legends, the KOH table) reads at SMALLEST_TEXT CSS points or more as
    # the browser shows it: points to natural pixels (a PNG at DPI; an SVG's points are CSS points), then
    # scaled as the image is shrunk. 1 % allows for the browser's rounding of a figure exactly as wide as the page.
    smallest = 8.0
    for _, _, shown, natural, svg in seen["images"]:
        pixels = smallest * (96.0 if svg else DPI) / 72.0 * shown / natural
        assert pixels >= 0.99 * SMALLEST_TEXT * 96.0 / 72.0, (shown, natural, svg)


@needs_chromium
def test_browser_renders_tables_and_figures_without_console_errors(report, tmp_path):
    import matplotlib.image

    path, result = report
    url = path.resolve().as_uri()
    shot = tmp_path / "page.png"
    rendered = chromium(f"--screenshot={shot}", "--window-size=1280,1600", "--hide-scrollbars", url)
    pixels = matplotlib.image.imread(shot)[..., :3]
    assert (pixels.min(axis=2) < 0.9).mean() > 0.02  # text and tables, not a blank page
    dom = chromium("--dump-dom", url)
    assert dom.returncode == 0
    assert dom.stdout.count("<table") == 3 * len(result.states) + 2  # facts, properties, runs; failures, settings
    assert len(re.findall(r'<img src="data:image/(png|svg\+xml);base64,', dom.stdout)) == 2
    assert "<b>bold</b>" not in dom.stdout
    for log in (rendered.stderr, dom.stderr):
        assert not [line for line in log.splitlines() if ":CONSOLE" in line]


@pytest.mark.parametrize("fmt, media", [("pdf", "image/png"), ("png", "image/png"), ("svg", "image/svg+xml")])
def test_a_figure_in_any_format_is_shown_in_the_page(tmp_path, fmt, media):
    from zorv_pp.figures.common import pyplot, save
    from zorv_pp.output.report_page.page import figure

    drawn, axis = pyplot().subplots()
    axis.plot([1, 2], [3, 4])
    path = save(drawn, tmp_path / f"a_msd.{fmt}", fmt)
    assert path.read_bytes()[:4] == {"pdf": b"%PDF", "png": b"\x89PNG", "svg": b"<?xm"}[fmt]
    assert f'src="data:{media};base64,' in figure(path)


@pytest.mark.parametrize(
    "metadata, expected",
    [
        ({"molality": 2.0, "temperature": 298.15}, "molality = 2.0 mol/kg, temperature = 298.15 K"),
        ({"hop_distance": 2.65e-10, "solvent": "water"}, "hop distance = 2.65e-10 m, solvent = water"),
    ],
)
def test_state_metadata_carry_their_units(metadata, expected):
    from zorv_pp.output.report_page import metadata_text

    assert metadata_text(metadata) == expected


def test_values_in_the_page_are_rounded_to_their_error(report):
    path, result = report
    text = path.read_text(encoding="utf-8")
    rows = re.findall(r'<td class="num">([^<]*)</td><td class="num">([^<]*)</td><td class="num">([^<]*)</td>', text)
    checked = 0
    for value, interval, error in rows:
        if error in ("–", "", "0") or " to " not in interval:  # "0": identical replicas
            continue
        decimals = len(error.partition(".")[2])
        digits = error.replace(".", "").lstrip("0")
        assert len(digits) == 2, error  # two significant digits of the error, a trailing zero kept
        assert len(value.partition(".")[2]) == decimals, (value, error)
        assert all(len(end.partition(".")[2]) == decimals for end in interval.split(" to ")), (interval, error)
        checked += 1
    assert checked >= 10


@pytest.fixture(scope="module")
def koh_page(tmp_path_factory):
    from zorv_pp.koh.figures import study_figures
    from zorv_pp.koh.report_page import write_koh_report
    from zorv_pp.koh.study import study

    out = tmp_path_factory.mktemp("koh")
    result = study(KOH_CAMPAIGN)
    figures = study_figures(result.comparisons, out / "figures", "pdf")
    return write_koh_report(out / "report.html", result, figures, {"format": "pdf"}), result


KOH_CAMPAIGN = Path(__file__).resolve().parents[2] / "examples" / "koh_campaign" / "campaign.toml"


def test_the_koh_page_has_its_tables_figures_warnings_and_version(koh_page):
    path, result = koh_page
    text = path.read_text(encoding="utf-8")
    assert not re.search(r"<script|<link|(src|href)=\"(?!data:)", text)
    assert text.count('src="data:image/png;base64,') == 4  # pdf figures shown through their PNG copies
    for heading in (
        "MD against experiment and models",
        "Proton hopping",
        "Runs and their warnings",
        "Failures",
        "Fit settings",
    ):
        assert f"<h2>{heading}</h2>" in text
    assert all(c.state in text for c in result.comparisons) and __version__ in text
    warned = [w for record in result.runs for w in record.warnings]
    assert warned and all(html_escaped(w.message) in text for w in warned)
    assert "D of OH⁻" in text and "D<sub>hop</sub>" in text and "σ<sub>MD</sub> (S/m)" in text
    assert not re.search(r"σ_|D_hop", text)  # symbols set with subscripts, no raw underscore
    legend = re.search(r'<ul class="legend" id="flag-legend">(.*?)</ul>', text).group(1)
    explained = set(re.findall(r'<code class="code">(\w+)</code>', legend))
    assert {flag for c in result.comparisons for flag in c.flags} == explained


def test_each_state_shows_its_facts_with_the_values_the_analysis_used(report):
    text = report[0].read_text(encoding="utf-8")
    for state in report[1].states:
        facts = re.search(rf'<div id="facts-{re.escape(state.name)}">(.*?)</div>', text).group(1)
        eta = state.get("shear_viscosity")
        assert state.yeh_hummer_viscosity.mean == eta.mean and not state.viscosity_given
        for expected in (
            f"molecules of K⁺ (charge +1 e)</td><td>{state.counts[0]['K']}<",
            "molecules of OH⁻ (charge −1 e)",
            f"{state.volumes[0] ** (1 / 3) * 1e9:.4g} nm",
            "<td>10 ns</td>",  # from the log of every run
            "298.15 K",
            "2.837297",
        ):
            assert expected in facts, (expected, facts)
        value, error = map(float, re.search(r"([\d.]+) ± ([\d.]+) mPa·s", facts).groups())
        assert abs(value - eta.mean * 1e3) <= 0.05 * error and math.isclose(error, eta.sem * 1e3, rel_tol=0.05)


@pytest.mark.parametrize(
    "style, lengths, from_lags, given, expected",
    [
        ("real", (2e-9, 3e-9), (False, False), False, ["1.5 to 2.5 nm", "2 to 3 ns", "300 to 310 K", "standard error"]),
        ("real", (4e-12, 4e-12), (True, True), True, ["≥ 4 ps (the longest lag", "(as given)", "charge not given"]),
        ("lj", (50.0, 50.0), (False, False), False, ["1.5 to 2.5 σ", "50 τ", "300 to 310 (reduced)", "reduced units"]),
    ],
)
def test_the_facts_table_says_each_quantity_in_its_units(style, lengths, from_lags, given, expected):
    from zorv_pp import Estimate, StateResult
    from zorv_pp.output.report_page.facts import facts_table
    from zorv_pp.units import unit_style

    state = StateResult(
        "s",
        ("a", "b"),
        {("self_diffusion", "A"): Estimate.of([1.0, 1.1], "m^2/s")},
        {"A": "A"},
        counts=({"A": 10, "B": 5}, {"A": 10, "B": 5}),
        charges={"A": 1.0},
        temperatures=(300.0, 310.0),
        volumes=(1.5**3 * (1e-27 if style == "real" else 1.0), 2.5**3 * (1e-27 if style == "real" else 1.0)),
        run_lengths=lengths,
        run_lengths_from_lags=from_lags,
        style=unit_style(style),
        yeh_hummer_viscosity=Estimate.of([1e-3, 1.2e-3], "Pa s"),
        viscosity_given=given,
    )
    text = html.unescape(facts_table(state))
    assert all(part in text for part in expected), text
    assert "molecules of A⁺" in text and ("charge +1 e" in text) == (style != "lj")


@pytest.mark.parametrize(
    "estimates, asked, expected",
    [
        ({("onsager", ("A", "A")): "A-A"}, ("onsager", "B"), "it has onsager for A-A"),
        ({("density", None): "-"}, ("shear_viscosity", None), "it has density"),
        ({}, ("density", None), "nothing was analysed"),
    ],
)
def test_a_missing_value_says_what_the_state_has(estimates, asked, expected):
    from zorv_pp import Estimate, StateResult

    state = StateResult(
        "s",
        ("r",),
        {key: Estimate.of([1.0], "1") for key in estimates},
        {key[1]: label for key, label in estimates.items() if key[1] is not None},
    )
    with pytest.raises(KeyError, match=expected):
        state.get(*asked)


@pytest.mark.parametrize(
    "name, start, bars",
    [
        ("m2.0_T298_msd_diffusion.png", "MSD curves", False),
        ("m2.0_T298_msd.svg", "MSD curves", False),
        ("lj_slope.png", "Running slope", False),
        ("a_convergence.pdf", "The estimate of the first k runs", True),
        ("summary.png", "The main properties", True),
        ("elsewhere.png", "", False),
    ],
)
def test_every_figure_of_the_page_says_what_it_shows(name, start, bars):
    from zorv_pp.output.report_page.campaign import caption

    assert caption(Path(name)).startswith(start) and (start or not caption(Path(name)))
    assert ("error bars" in caption(Path(name))) == bars  # only a figure that has error bars explains them
