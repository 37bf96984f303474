"""What the report page shows, read back with an HTML parser: one row per value with its registry title,
rounded value, interval, unit, count and flags; runs and their warnings; failures; escaped names; each
state's figures after its tables."""

import math
from html.parser import HTMLParser

import pytest

from zorv_pp import properties
from zorv_pp.analysis.estimate import Estimate
from zorv_pp.analysis.state import StateResult
from zorv_pp.campaign.batch import CampaignResult, Failure
from zorv_pp.diagnostics import RunWarning
from zorv_pp.figures.common import notation
from zorv_pp.msdfit.window import Window
from zorv_pp.output.report_page import metadata_text, report_html
from zorv_pp.output.report_page.campaign import fit_start_text
from zorv_pp.properties import fit_groups
from zorv_pp.rounding import with_error

VOID = {"img", "br", "wbr", "meta", "hr", "input", "link"}


class Node:
    def __init__(self, tag, attrs, parent=None):
        self.tag, self.attrs, self.parent, self.children = tag, dict(attrs), parent, []

    def text(self):
        return "".join(c if isinstance(c, str) else c.text() for c in self.children)

    def all(self, tag):
        found = []
        for child in self.children:
            if isinstance(child, Node):
                if child.tag == tag:
                    found.append(child)
                found += child.all(tag)
        return found

    def elements(self):
        return [c for c in self.children if isinstance(c, Node)]


class Tree(HTMLParser):
    """The page as a tree of elements; refuses a closing tag that does not match its opening one."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.root = self.node = Node("document", {})
        self.feed(text)
        self.close()
        assert self.node is self.root, f"<{self.node.tag}> never closed"

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.node)
        self.node.children.append(node)
        if tag not in VOID:
            self.node = node

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        assert self.node.tag == tag, f"</{tag}> closes <{self.node.tag}>"
        self.node = self.node.parent

    def handle_data(self, data):
        self.node.children.append(data)


def page(states, failures=(), figures=(), settings=None):
    return Tree(report_html(CampaignResult(list(states), list(failures)), figures, settings)).root


def rows_of(table):
    """The header and the rows of a table, as texts; each row with its class."""
    header = [th.text() for th in table.all("th")]
    return header, [
        ([td.text() for td in tr.all("td")], tr.attrs.get("class", "")) for tr in table.all("tbody")[0].all("tr")
    ]


def section(root, name):
    (found,) = [s for s in root.all("section") if s.attrs.get("id") == f"state-{name}"]
    return found


ESTIMATES = {
    ("self_diffusion_pbc", "K"): Estimate.from_runs(
        [2.0e-9, 2.1e-9], [3e-11, 3e-11], "m^2/s", window_spread=[1e-11, 4e-11], fit_start=[2e-12, 5e-13]
    ),
    ("onsager", ("K", "OH")): Estimate.from_runs(
        [-1.2e-11, -1.0e-11], [2e-12, 2e-12], "m^2/s", flags=["not_converged", "window_sensitive"]
    ),
    ("shear_viscosity", None): Estimate.from_runs([1.1e-3, 1.14e-3], [2e-5, 2e-5], "Pa s"),
    ("haven_ratio", None): Estimate.of([0.3, math.nan], "1"),  # one run: no error, no interval
    ("density", None): Estimate.of([1000.0, 1002.0], "kg/m^3", ["density_mismatch"]),
    ("temperature", None): Estimate.of([298.0, 298.0], "K"),  # identical replicas: an error of zero
}
LABELS = {"K": "K", "OH": "OH", ("K", "OH"): "K-OH"}
RUNS = ("/data/m2/rep1", "/data/m2/rep2")
WARNINGS = {
    RUNS[1]: (
        RunWarning("skipped_rows", "diffself.dat", "row 7 <unreadable> skipped"),
        RunWarning("no_run_length", None, "run length taken from the table"),
    )
}


def state(name="m2", runs=RUNS, estimates=None, metadata=None, warnings=None):
    return StateResult(
        name,
        tuple(runs),
        ESTIMATES if estimates is None else estimates,
        LABELS,
        {"molality": 2.0} if metadata is None else metadata,
        warnings=WARNINGS if warnings is None else warnings,
    )


def test_one_row_per_estimate_with_title_rounded_value_unit_count_and_flags():
    header, rows = rows_of(section(page([state()]), "m2").all("table")[1])
    assert header == [
        "property",
        "species",
        "value",
        "95 % interval",
        "standard error",
        "window spread",
        "fit from",
        "unit",
        "runs",
        "flags",
    ]
    assert len(rows) == len(ESTIMATES)
    for ((prop, species), estimate), (cells, css) in zip(ESTIMATES.items(), rows, strict=True):
        label, factor = notation(estimate.unit, [estimate.mean])
        low, high = (v * factor for v in estimate.ci95)
        value, error, interval = with_error(estimate.mean * factor, estimate.sem * factor, low, high)
        assert cells[0] == properties.get(prop).title
        assert cells[1] == ("" if species is None else LABELS[species])
        assert cells[2:5] == [
            value.replace("-", "−"),
            interval.replace("-", "−"),
            error if math.isfinite(estimate.sem) and estimate.sem > 0 else "–",
        ]
        assert cells[6] == fit_start_text(estimate.fit_start)
        assert cells[7:9] == [label, str(estimate.count)]
        assert cells[9] == (", ".join(estimate.flags) or "–")
        assert css == ("flagged" if estimate.flags else "")


def test_known_rows_of_the_table():
    rows = dict((cells[0] + "/" + cells[1], cells) for cells, _ in rows_of(page([state()]).all("table")[1])[1])
    assert rows["shear viscosity/"][2:10] == ["1.120", "1.081 to 1.159", "0.020", "–", "–", "mPa·s", "2", "–"]
    assert rows["Onsager coefficient/K-OH"][2:5] == ["−11.0", "−13.8 to −8.2", "1.4"]
    assert rows["Onsager coefficient/K-OH"][7:] == ["10⁻¹² m²/s", "2", "not_converged, window_sensitive"]
    diffusion = rows["self-diffusion (uncorrected, periodic box)/K"]
    assert diffusion[5:7] == ["0.040", "0.5 to 2 ps"]  # the larger run's spread, at the value's digits
    assert rows["Haven ratio/"][2:5] == ["0.3", "–", "–"] and rows["Haven ratio/"][8] == "1"
    assert rows["temperature/"][2:5] == ["298", "298 to 298", "–"]


def test_runs_and_their_warnings():
    tables = section(page([state()]), "m2").all("table")
    header, rows = rows_of(tables[2])
    assert header == ["run", "folder", "warnings"]
    assert [cells for cells, _ in rows] == [
        ["1", RUNS[0], "none"],
        [
            "2",
            RUNS[1],
            "skipped_rows (diffself.dat): row 7 <unreadable> skippedno_run_length: run length taken from the table",
        ],
    ]
    assert [b.text() for b in tables[2].all("b")] == ["skipped_rows", "no_run_length"]
    assert len(tables[2].all("br")) == 1  # one line per warning


@pytest.mark.parametrize(
    "failures, expected",
    [
        ([], None),
        (
            [
                Failure("m2", "/data/m2/rep3", "diffself.dat", "bad <row> & more"),
                Failure("m4", "/data/m4", None, "gone"),
            ],
            [["m2", "/data/m2/rep3", "diffself.dat", "bad <row> & more"], ["m4", "/data/m4", "–", "gone"]],
        ),
    ],
)
def test_failures_are_listed(failures, expected):
    root = page([state()], failures)
    summary = [p for p in root.all("p") if p.attrs.get("id") == "summary"][0].text()
    assert summary.startswith(f"1 state(s), 2 analysed run(s), {len(failures)} failure(s).")
    (heading,) = [h for h in root.all("h2") if h.text() == "Failures"]
    following = heading.parent.elements()[heading.parent.elements().index(heading) + 1]
    if expected is None:
        assert following.tag == "p" and following.attrs["id"] == "no-failures"
    else:
        header, rows = rows_of(following)
        assert header == ["state", "run", "file", "reason"] and [cells for cells, _ in rows] == expected


def test_special_characters_are_escaped_everywhere():
    hostile = '<b>&"x"'
    metadata = {"solvent": '<i>water</i> & "salt"'}
    runs = (f"/data/{hostile}/rep1",)
    warnings = {runs[0]: (RunWarning("odd", "<f>.dat", "<script>alert(1)</script>"),)}
    root = page(
        [state(hostile, runs, metadata=metadata, warnings=warnings)],
        [Failure(hostile, runs[0], None, "</td></tr></table>")],
    )
    assert not root.all("i") and not root.all("script")
    assert [b.text() for b in root.all("b")] == ["odd"]  # the warning code's own markup only
    found = section(root, hostile)
    assert found.all("h2")[0].text() == f"State {hostile}"
    assert found.all("p")[0].text() == 'solvent = <i>water</i> & "salt"'
    assert rows_of(found.all("table")[2])[1][0][0][1:] == [runs[0], "odd (<f>.dat): <script>alert(1)</script>"]
    failures = [t for t in root.all("table") if rows_of(t)[0][0] == "state"]
    assert rows_of(failures[0])[1][0][0] == [hostile, runs[0], "–", "</td></tr></table>"]


def fake_figure(folder, name):
    path = folder / name
    path.write_bytes(b"\x89PNG not a real image")
    return path


def test_a_states_figures_follow_its_tables_and_shared_ones_come_first(tmp_path):
    figures = [fake_figure(tmp_path, n) for n in ("m4_msd.png", "summary.png", "m2_msd.png", "m2_slope.png")]
    root = page([state("m2"), state("m4", runs=RUNS[:1])], figures=figures)
    body = root.all("body")[0].elements()
    summary = [e.tag == "h2" and e.text() == "Summary over states" for e in body].index(True)
    assert body[summary + 1].tag == "figure" and body[summary + 1].attrs["id"] == "figure-summary"
    assert body.index(section(root, "m2")) > summary + 1
    for name, own in (("m2", ["figure-m2_msd", "figure-m2_slope"]), ("m4", ["figure-m4_msd"])):
        parts = section(root, name).elements()
        tags = [p.tag for p in parts]
        assert [p.attrs["id"] for p in parts if p.tag == "figure"] == own
        assert tags.index("figure") > max(i for i, t in enumerate(tags) if t == "table")
    note = "One run: no figure of the estimate against the number of replicas."
    assert note in section(root, "m4").text() and note not in section(root, "m2").text()
    captions = [f.all("figcaption")[0].text() for f in root.all("figure")]
    assert captions[0].startswith("The main properties") and "m2_slope.png" in captions[2]


def test_a_figure_belongs_to_one_state_when_names_share_a_prefix(tmp_path):
    figures = [fake_figure(tmp_path, n) for n in ("m2_msd.png", "m2_T298_msd.png")]
    root = page([state("m2"), state("m2_T298")], figures=figures)
    assert [f.attrs["id"] for f in section(root, "m2").all("figure")] == ["figure-m2_msd"]
    assert [f.attrs["id"] for f in section(root, "m2_T298").all("figure")] == ["figure-m2_T298_msd"]


@pytest.mark.parametrize(
    "starts, reduced, expected",
    [
        ([], False, "–"),
        ([math.nan, math.nan], False, "–"),
        ([3.0], False, "3 s"),
        ([4.0], True, "4 τ"),  # lj runs: reduced time, not seconds
        ([8e-11], False, "80 ps"),
        ([1.5e-9, math.nan, 1.5e-9], False, "1.5 ns"),
        ([4e-12, 3.75e-12, math.nan], False, "3.75 to 4 ps"),  # earliest to latest, whatever the run order
        ([1e-15, 2e-10], False, "0.001 to 200 ps"),
    ],
)
def test_fit_start_text(starts, reduced, expected):
    assert fit_start_text(starts, reduced) == expected


@pytest.mark.parametrize(
    "metadata, expected",
    [
        ({}, ""),
        ({"pressure": 1.0, "molarity": 0.5}, "pressure = 1.0 atm, molarity = 0.5 mol/L"),
        ({"salt_name": "KOH", "replicas": [1, 2]}, "salt name = KOH, replicas = [1, 2]"),
        ({"viscosity": 8.9e-4, "temperature": 298}, "viscosity = 0.00089 Pa·s, temperature = 298 K"),
    ],
)
def test_metadata_text(metadata, expected):
    assert metadata_text(metadata) == expected


@pytest.mark.parametrize(
    "settings, groups, rows",
    [
        (None, list(fit_groups()), []),
        (Window(margin=0.2), list(fit_groups()), []),
        ({"default": Window(max_error=0.3), "onsager": Window(method="window")}, list(fit_groups()), []),
        (
            {"windows": {"default": {"margin": 0.1}}, "paths": ["a", "b"], "jobs": 2},
            ["default"],
            [["paths", "a, b"], ["jobs", "2"]],
        ),
    ],
)
def test_fit_settings_table(settings, groups, rows):
    (heading,) = [h for h in page([state()], settings=settings).all("h2") if h.text() == "Fit settings"]
    tables = [e for e in heading.parent.elements() if e.tag == "table"][-2 if rows else -1 :]
    header, found = rows_of(tables[0])
    assert header[0] == "fit group" and [cells[0] for cells, _ in found] == groups
    if isinstance(settings, dict) and "onsager" in settings:
        methods = {cells[0]: cells[header.index("method")] for cells, _ in found}
        assert methods["onsager"] == "window" and methods["self_diffusion"] == "gls"
        # A group given its own Window takes all of it; the others take the default.
        assert {cells[0]: cells[header.index("max_error")] for cells, _ in found} == {
            group: "0.15" if group == "onsager" else "0.3" for group in fit_groups()
        }
    if isinstance(settings, Window):
        assert {cells[header.index("margin")] for cells, _ in found} == {"0.2"}
    if rows:
        assert [cells for cells, _ in rows_of(tables[1])[1]] == rows
    assert not [cell for cells, _ in found for cell in cells if cell == "None"]  # an unset setting reads "–"


def test_flags_stay_whole_and_the_legend_explains_each_shown_once():
    from zorv_pp import flags

    text = report_html(CampaignResult([state()], ()))
    assert "window_<wbr>" not in text and '<span class="code">window_sensitive</span>' in text
    legend = text[text.index('id="flag-legend"') :].partition("</ul>")[0]
    shown = {flag for estimate in ESTIMATES.values() for flag in estimate.flags}
    for code in (flags.NOT_CONVERGED, flags.WINDOW_SENSITIVE):
        assert code in shown and legend.count(f">{code}</code>") == 1
    assert "The curve still bends at its longest usable lags" in legend and flags.ANISOTROPIC not in legend
