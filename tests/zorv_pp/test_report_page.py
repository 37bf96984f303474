"""The campaign report page: self-contained, escaped, and rendered by a real browser without errors."""
import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

pytest.importorskip("_zorv_pp")
pytest.importorskip("matplotlib")
from zorv_pp import __version__  # noqa: E402
from zorv_pp.batch import Failure, analyze_states, jobs_of  # noqa: E402
from zorv_pp.campaign import load_campaign  # noqa: E402
from zorv_pp.figures import state_figure, summary_figure  # noqa: E402
from zorv_pp.html_report import write_report  # noqa: E402
from zorv_pp.window import Window  # noqa: E402

CAMPAIGN = Path(__file__).resolve().parents[2] / "examples" / "campaign" / "campaign.toml"
HOSTILE = 'row <b>bold</b> & "quoted"'


@pytest.fixture(scope="module")
def report(tmp_path_factory):
    """The report of the bundled campaign, one failure with markup in its message, a PNG and an SVG figure."""
    out = tmp_path_factory.mktemp("report")
    campaign = load_campaign(CAMPAIGN)
    result = analyze_states(jobs_of(campaign)[:2], window=campaign.windows)
    result.failures.append(Failure("m2.0_T298", "rep9", "diffself.dat", HOSTILE))
    figures = [summary_figure(result.states, out / "summary.png"),
               state_figure(result.states[0], out / "m2.svg", fmt="svg")]
    return write_report(out / "report.html", result, figures, {"default": Window(margin=0.2)}), result


def test_page_is_self_contained_and_escaped(report):
    path, result = report
    text = path.read_text(encoding="utf-8")
    assert not re.search(r"<script|<link|(src|href)=\"(?!data:)", text)
    assert text.count('src="data:image/png;base64,') == 1 and text.count('src="data:image/svg+xml;base64,') == 1
    assert HOSTILE not in text and html_escaped(HOSTILE) in text
    assert __version__ in text and "margin" in text and "0.2" in text
    for state in result.states:
        assert f'id="state-{state.name}"' in text and all(run in text for run in state.runs)
    assert not list(path.parent.glob(".report.html.*"))  # written atomically: no scratch file left


def html_escaped(text):
    import html

    return html.escape(text, quote=True)


def chromium(*args):
    # The browser is no part of the code under test: a sanitizer preloaded into the suite stays out of it.
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
    return subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--enable-logging=stderr",
                           "--v=0", *args], capture_output=True, text=True, timeout=120, env=env)


@pytest.mark.skipif(shutil.which("chromium") is None, reason="needs chromium (installed in the test root)")
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
    assert dom.stdout.count("<table") == 2 * len(result.states) + 2  # properties and runs, failures, settings
    assert len(re.findall(r'<img src="data:image/(png|svg\+xml);base64,', dom.stdout)) == 2
    assert "<b>bold</b>" not in dom.stdout
    for log in (rendered.stderr, dom.stderr):
        assert not [line for line in log.splitlines() if ":CONSOLE" in line]
