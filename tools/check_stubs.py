"""Checks the installed type stubs against the installed module:

1. mypy's stubtest compares every stub with the runtime object.
2. mypy --strict accepts tests/typing/typed_usage.py, a typed user script.
3. mypy reports errors on exactly the lines of tests/typing/typed_misuse.py marked
   "# error", so the stubs refuse what the module refuses.
4. mypy --strict accepts the installed zorv_pp package (its py.typed code).

Run it with the interpreter the package was installed into:
    VENV/bin/python tools/check_stubs.py

A function of the stubs that the module does not register (its work has not been
merged yet) is tolerated: it is listed, and stubtest is told to ignore exactly those
names. Any other difference fails, including a registered function missing from the
stubs or an __all__ that is out of order.
"""

import ast
import pathlib
import re
import subprocess
import sys
import tempfile

import _zorv_pp

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "stubs" / "_zorv_pp-stubs" / "__init__.pyi"
TYPING_TESTS = ROOT / "tests" / "typing"


def stub_names():
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    functions = [node.name for node in tree.body if isinstance(node, ast.FunctionDef)]
    exported = next(
        ast.literal_eval(node.value)
        for node in tree.body
        if isinstance(node, ast.Assign) and node.targets[0].id == "__all__"
    )
    if functions != exported:
        sys.exit(f"stub functions {functions} differ from the stub's __all__ {exported}")
    return exported


def tolerated_absences(names):
    registered = list(_zorv_pp.__all__)
    if registered != [name for name in names if name in registered]:
        sys.exit(f"runtime __all__ {registered} is not the stubs' list {names} minus absent names")
    absent = [name for name in names if name not in registered]
    for name in absent:
        print(f"check_stubs: tolerated, not registered yet: {name}")
    entries = [f"_zorv_pp.{name}" for name in absent]
    return entries + ["_zorv_pp.__all__"] if absent else []


def run(command):
    print("check_stubs: " + " ".join(command), flush=True)
    # In a scratch directory, so that mypy's cache stays out of the clone.
    with tempfile.TemporaryDirectory() as scratch:
        return subprocess.run(command, cwd=scratch, text=True, capture_output=True)


def stubtest(allowlist_entries):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as allowlist:
        allowlist.write("".join(entry + "\n" for entry in allowlist_entries))
    result = run([sys.executable, "-m", "mypy.stubtest", "_zorv_pp", "--allowlist", allowlist.name])
    pathlib.Path(allowlist.name).unlink()
    print(result.stdout + result.stderr, end="")
    return result.returncode == 0


def typed_usage():
    script = TYPING_TESTS / "typed_usage.py"
    result = run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(script)])
    print(result.stdout + result.stderr, end="")
    return result.returncode == 0


def typed_misuse():
    script = TYPING_TESTS / "typed_misuse.py"
    marked = {number for number, line in enumerate(script.read_text().splitlines(), 1) if line.endswith("# error")}
    result = run([sys.executable, "-m", "mypy", "--no-incremental", "--no-error-summary", str(script)])
    reported = {int(match) for match in re.findall(r"typed_misuse\.py:(\d+): error", result.stdout)}
    if reported != marked:
        print(result.stdout + result.stderr, end="")
        print(f"check_stubs: errors expected on lines {sorted(marked)}, reported on {sorted(reported)}")
        return False
    print(f"check_stubs: mypy refuses all {len(marked)} misuses")
    return True


def package_types():
    result = run(
        [
            sys.executable,
            "-m",
            "mypy",
            "--config-file",
            str(ROOT / "pyproject.toml"),
            "--no-incremental",
            "-p",
            "zorv_pp",
        ]
    )
    print(result.stdout + result.stderr, end="")
    return result.returncode == 0


def main():
    entries = tolerated_absences(stub_names())
    outcomes = [stubtest(entries), typed_usage(), typed_misuse(), package_types()]
    if not all(outcomes):
        return 1
    print("check_stubs: stubs match the module")
    return 0


if __name__ == "__main__":
    sys.exit(main())
