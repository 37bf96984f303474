#!/usr/bin/env python3.11
"""Mutation check of the test suite.

Each mutant of tools/mutants.toml (one textual replacement in one file) is
applied alone to a scratch copy of the work tree, the copy is rebuilt
incrementally, the C++ tests and the Python tests run, and the file is put
back. Prints which layer caught each mutant, or that it survived, and the
kill rate over the mutants not marked equivalent; exits 1 below the target.

    /usr/bin/python3.11 tools/mutation_check.py            # every mutant (slow)
    /usr/bin/python3.11 tools/mutation_check.py --list
    /usr/bin/python3.11 tools/mutation_check.py --only brent_residual_stop_strict

Build failures are reported as "build" and count neither way: a mutant that
does not compile tests nothing.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import tomllib
from dataclasses import dataclass
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
MUTANTS = REPO / "tools" / "mutants.toml"
PYTHON = "/usr/bin/python3.11"
TARGET = 0.95
GTEST = Path("tests") / "zorv_core_tests"


@dataclass
class Mutant:
    name: str
    file: str
    original: str
    replacement: str
    description: str
    equivalent: str = ""


@dataclass
class Outcome:
    mutant: Mutant
    result: str  # "killed", "survived", "build", "broken"
    layers: str = ""  # "cpp", "py", "cpp+py"
    seconds: float = 0.0


def load_mutants(path):
    with open(path, "rb") as handle:
        entries = tomllib.load(handle)["mutant"]
    mutants = [Mutant(**entry) for entry in entries]
    names = [m.name for m in mutants]
    duplicates = sorted({n for n in names if names.count(n) > 1})
    if duplicates:
        sys.exit(f"duplicate mutant names: {', '.join(duplicates)}")
    return mutants


def present(mutant, root):
    """Mutants of a part not in the tree yet (the Python package) are left out."""
    return (root / mutant.file).exists()


def tree_files(repo):
    """Tracked and new unignored files of the work tree, as they stand now."""
    listed = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=repo,
        check=True,
        capture_output=True,
    ).stdout
    return [f for f in listed.decode().split("\0") if f and not f.startswith("build/")]


def sync_tree(repo, scratch):
    """Copies files whose content differs, so that a reused scratch build
    recompiles only what changed."""
    for name in tree_files(repo):
        source = repo / name
        if not source.is_file():
            continue
        target = scratch / name
        data = source.read_bytes()
        if target.is_file() and target.read_bytes() == data:
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        shutil.copymode(source, target)


def run(command, cwd, timeout, env=None):
    """(passed, tail of output); a timeout counts as a failure."""
    try:
        done = subprocess.run(
            command, cwd=cwd, env=env, timeout=timeout, stdout=subprocess.PIPE, stderr=subprocess.STDOUT
        )
    except subprocess.TimeoutExpired:
        return False, f"timed out after {timeout} s"
    text = done.stdout.decode(errors="replace")
    return done.returncode == 0, "\n".join(text.splitlines()[-15:])


class Layers:
    def __init__(self, scratch, timeout, slow):
        self.scratch = scratch
        self.build_dir = scratch / "build"
        self.timeout = timeout
        self.slow = slow
        self.env = dict(os.environ, ZORV_MODULE_DIR=str(self.build_dir / "python"))
        package = scratch / "python"
        if package.is_dir():
            self.env["PYTHONPATH"] = os.pathsep.join(p for p in (str(package), os.environ.get("PYTHONPATH", "")) if p)

    def configure(self):
        return run(
            [
                "cmake",
                "-S",
                ".",
                "-B",
                "build",
                "-G",
                "Ninja",
                f"-DPython_EXECUTABLE={PYTHON}",
                "-DZORV_BUILD_TESTS=ON",
            ],
            self.scratch,
            self.timeout,
        )

    def build(self):
        return run(["cmake", "--build", "build", "-j", "2"], self.scratch, self.timeout)

    def cpp(self):
        return run([str(self.build_dir / GTEST), "--gtest_brief=1"], self.scratch, self.timeout)

    def python(self):
        command = [PYTHON, "-m", "pytest", "-x", "-q", "-p", "no:cacheprovider", "tests"]
        if not self.slow:
            command[3:3] = ["-m", "not slow"]
        return run(command, self.scratch, self.timeout, self.env)


def try_mutant(mutant, layers, verbose):
    path = layers.scratch / mutant.file
    original = path.read_text()
    if original.count(mutant.original) != 1:
        return Outcome(mutant, "broken")
    started = time.monotonic()
    path.write_text(original.replace(mutant.original, mutant.replacement))
    try:
        built, log = layers.build()
        if not built:
            if verbose:
                print(log)
            return Outcome(mutant, "build", seconds=time.monotonic() - started)
        caught = []
        # Both layers always run: the table tells what each one catches alone.
        for name, layer in (("cpp", layers.cpp), ("py", layers.python)):
            passed, log = layer()
            if not passed:
                caught.append(name)
                if verbose:
                    print(f"--- {mutant.name}: {name}\n{log}")
    finally:
        path.write_text(original)
    result = "killed" if caught else "survived"
    return Outcome(mutant, result, "+".join(caught), time.monotonic() - started)


def verdict(outcome):
    m = outcome.mutant
    if outcome.result == "killed":
        note = "  (marked equivalent, yet killed)" if m.equivalent else ""
        return f"caught by {outcome.layers}{note}"
    if outcome.result == "survived":
        return f"equivalent: {m.equivalent}" if m.equivalent else "SURVIVED"
    if outcome.result == "build":
        return "build failure (not counted)"
    return "BROKEN: the original snippet does not occur exactly once"


def report(outcomes):
    width = max(len(o.mutant.name) for o in outcomes)
    print(f"\n{'mutant':<{width}}  {'time':>6}  result")
    for o in outcomes:
        print(f"{o.mutant.name:<{width}}  {o.seconds:5.0f}s  {verdict(o)}")
    # An equivalent mark stands only while the mutant survives.
    counted = [
        o
        for o in outcomes
        if o.result in ("killed", "survived") and not (o.mutant.equivalent and o.result == "survived")
    ]
    killed = [o for o in counted if o.result == "killed"]
    by_layer = {layer: sum(layer in o.layers.split("+") for o in killed) for layer in ("cpp", "py")}
    equivalent = sum(bool(o.mutant.equivalent) and o.result == "survived" for o in outcomes)
    builds = sum(o.result == "build" for o in outcomes)
    broken = sum(o.result == "broken" for o in outcomes)
    rate = len(killed) / len(counted) if counted else 1.0
    print(
        f"\n{len(outcomes)} mutants: {len(killed)} killed (C++ tests {by_layer['cpp']}, "
        f"Python tests {by_layer['py']}), {len(counted) - len(killed)} survived, "
        f"{equivalent} equivalent, {builds} build failures, {broken} broken"
    )
    print(f"kill rate: {len(killed)}/{len(counted)} = {rate:.1%} of the non-equivalent mutants (target {TARGET:.0%})")
    return rate >= TARGET and broken == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", action="append", metavar="NAME", help="run this mutant (repeatable)")
    parser.add_argument("--list", action="store_true", help="list the mutants and exit")
    parser.add_argument(
        "--timeout", type=float, default=900.0, help="seconds allowed to each build or test run of a mutant"
    )
    parser.add_argument("--slow", action="store_true", help="include the Python tests marked slow")
    parser.add_argument("--scratch", type=Path, help="scratch copy to create or reuse (kept); default: a temporary one")
    parser.add_argument("--verbose", action="store_true", help="print the failing output of each layer")
    args = parser.parse_args()

    mutants = [m for m in load_mutants(MUTANTS) if present(m, REPO)]
    if args.list:
        for m in mutants:
            mark = f"  [equivalent: {m.equivalent}]" if m.equivalent else ""
            print(f"{m.name}: {m.file}: {m.description}{mark}")
        return 0
    if args.only:
        unknown = set(args.only) - {m.name for m in mutants}
        if unknown:
            sys.exit(f"unknown mutants: {', '.join(sorted(unknown))}")
        mutants = [m for m in mutants if m.name in args.only]
    # Grouped by file, so that putting one back and mutating the next
    # recompiles as little as possible.
    order = {}
    mutants.sort(key=lambda m: order.setdefault(m.file, len(order)))

    scratch = args.scratch.resolve() if args.scratch else Path(tempfile.mkdtemp(prefix="zorv-mutation-"))
    try:
        scratch.mkdir(parents=True, exist_ok=True)
        sync_tree(REPO, scratch)
        layers = Layers(scratch, args.timeout, args.slow)
        for step in (layers.configure, layers.build, layers.cpp, layers.python):
            passed, log = step()
            if not passed:
                print(f"the unmutated tree fails at {step.__name__}:\n{log}", file=sys.stderr)
                return 2
        outcomes = []
        for index, mutant in enumerate(mutants, 1):
            outcome = try_mutant(mutant, layers, args.verbose)
            outcomes.append(outcome)
            print(f"[{index}/{len(mutants)}] {mutant.name}: {verdict(outcome)}", flush=True)
        return 0 if report(outcomes) else 1
    finally:
        if not args.scratch:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
