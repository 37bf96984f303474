"""The examples of docs/api.md run as doctests, one test per section, in an empty
scratch directory. A section whose examples call a function the module does not
register yet is skipped, naming the function."""

import doctest
import inspect
import pathlib
import re

import pytest

import _zorv_pp

API_DOC = pathlib.Path(__file__).resolve().parents[2] / "docs" / "api.md"
EXAMPLE_BLOCK = re.compile(r"^```pycon\n(.*?)^```$", re.MULTILINE | re.DOTALL)
SIGNATURE_HEADING = re.compile(r"`(\w+)\((.*)\)`")


def split_sections(text):
    """(heading, body, first line number) of the text before the first "## " heading
    (heading None) and of every "## " section."""
    sections, heading, start, lines = [], None, 1, []
    for number, line in enumerate(text.splitlines(keepends=True), 1):
        if line.startswith("## "):
            sections.append((heading, "".join(lines), start))
            heading, start, lines = line[3:].strip(), number, []
        lines.append(line)
    sections.append((heading, "".join(lines), start))
    return sections


SECTIONS = split_sections(API_DOC.read_text(encoding="utf-8"))
PREAMBLE = SECTIONS[0]
DOCUMENTED = [match.group(1) for heading, _, _ in SECTIONS[1:] if (match := SIGNATURE_HEADING.fullmatch(heading))]


def examples_of(body):
    return "".join(match.group(1) for match in EXAMPLE_BLOCK.finditer(body))


def run_examples(source, name, line, globs):
    parser = doctest.DocTestParser()
    test = parser.get_doctest(source, globs, name, str(API_DOC), line)
    report = []
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS, verbose=False)
    result = runner.run(test, out=report.append, clear_globs=False)
    assert result.failed == 0, "".join(report)
    return result.attempted, test.globs


@pytest.mark.parametrize("heading, body, line", SECTIONS[1:], ids=[h for h, _, _ in SECTIONS[1:]])
def test_section_examples_run(heading, body, line, tmp_path, monkeypatch):
    source = examples_of(body)
    monkeypatch.chdir(tmp_path)
    _, globs = run_examples(examples_of(PREAMBLE[1]), "setup", PREAMBLE[2], {})
    attempted, _ = run_examples(source, heading, line, globs)
    assert attempted > 0


def test_every_registered_function_is_documented_in_table_order():
    assert len(DOCUMENTED) == 19
    assert DOCUMENTED == _zorv_pp.__all__


@pytest.mark.parametrize("heading, body, line", SECTIONS[1:], ids=[h for h, _, _ in SECTIONS[1:]])
def test_documented_signature_and_parameters_match_the_module(heading, body, line):
    match = SIGNATURE_HEADING.fullmatch(heading)
    if not match:
        pytest.skip("not a function section")
    name = match.group(1)
    parameters = list(inspect.signature(getattr(_zorv_pp, name)).parameters)
    assert match.group(2).split(", ") == parameters
    described = re.findall(r"^- ((?:`\w+`(?:, )?)+) \(", body, re.MULTILINE)
    assert [p for group in described for p in re.findall(r"`(\w+)`", group)] == parameters
