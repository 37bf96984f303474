"""The tutorial's Python sessions run as one doctest, on the bundled campaign."""

import doctest
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[2]
SESSION = re.compile(r"^```python\n(>>> .*?)^```$", re.MULTILINE | re.DOTALL)


def test_tutorial_sessions(monkeypatch):
    text = (ROOT / "docs" / "tutorial.md").read_text(encoding="utf-8")
    examples = "".join(SESSION.findall(text))
    assert examples.count(">>>") >= 8
    monkeypatch.chdir(ROOT)
    test = doctest.DocTestParser().get_doctest(examples, {}, "tutorial", "docs/tutorial.md", 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert runner.summarize(verbose=False).failed == 0
