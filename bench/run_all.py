"""Runs every benchmark of bench/ and prints one table: function, workload, time,
peer, ratio, target, and whether the target is met.

A benchmark reports each measurement as one line on its standard output:
    bench-row {"function": ..., "workload": ..., "time": ..., "peer": ...,
               "ratio": ..., "target": ..., "verdict": "pass" | "fall short" | "information"}
(JSON after the marker; the values are display texts). A benchmark that prints no
such line still gets a row, holding its last output line, and so does one that fails.

    python3 bench/run_all.py
Python benchmarks (bench/*.py) run with this interpreter, which must import the
built module (set ZORV_MODULE_DIR to its build directory). C++ benchmarks
(bench/*_bench.cpp) are compiled against the core library, built in build/bench-core.
"""

import json
import os
import pathlib
import subprocess
import sys

BENCH = pathlib.Path(__file__).resolve().parent
ROOT = BENCH.parent
CORE_BUILD = ROOT / "build" / "bench-core"
MARKER = "bench-row "
COLUMNS = ("function", "workload", "time", "peer", "ratio", "target", "verdict")
TIMEOUT_SECONDS = 600


def python_command(path):
    return [sys.executable, str(path)]


def build_core():
    subprocess.run(
        [
            "cmake",
            "-S",
            str(ROOT),
            "-B",
            str(CORE_BUILD),
            "-G",
            "Ninja",
            "-DZORV_BUILD_MODULE=OFF",
            "-DCMAKE_BUILD_TYPE=Release",
        ],
        check=True,
        stdout=subprocess.DEVNULL,
    )
    subprocess.run(["cmake", "--build", str(CORE_BUILD), "-j", "2"], check=True, stdout=subprocess.DEVNULL)


def cpp_command(path):
    program = CORE_BUILD / path.stem
    subprocess.run(
        [
            "c++",
            "-O2",
            "-std=c++20",
            "-ffp-contract=off",
            "-fno-fast-math",
            f"-I{ROOT / 'src'}",
            str(path),
            str(CORE_BUILD / "libzorv_core.a"),
            "-o",
            str(program),
        ],
        check=True,
    )
    return [str(program)]


def child_environment():
    """Python benchmarks import the module from ZORV_MODULE_DIR when it is set."""
    env = dict(os.environ)
    module_dir = env.get("ZORV_MODULE_DIR")
    if module_dir:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [module_dir, env.get("PYTHONPATH")]))
    return env


def rows_of(name, command):
    try:
        done = subprocess.run(
            command, cwd=ROOT, env=child_environment(), text=True, capture_output=True, timeout=TIMEOUT_SECONDS
        )
    except subprocess.TimeoutExpired:
        return [failure_row(name, f"no result within {TIMEOUT_SECONDS} s")]
    lines = done.stdout.splitlines()
    rows = [json.loads(line[len(MARKER) :]) for line in lines if line.startswith(MARKER)]
    if done.returncode != 0:
        last = (done.stderr.strip().splitlines() or ["(no output)"])[-1]
        return rows + [failure_row(name, f"exit status {done.returncode}: {last}")]
    if not rows:
        return [failure_row(name, "no bench-row line; last output: " + (lines[-1].strip() if lines else "(none)"))]
    return rows


def failure_row(name, text, width=90):
    text = text if len(text) <= width else text[: width - 3] + "..."
    return {"function": name, "workload": text, "verdict": "no result"}


def print_table(rows):
    cells = [[str(row.get(column, "")) for column in COLUMNS] for row in rows]
    widths = [max(len(column), *(len(line[i]) for line in cells)) for i, column in enumerate(COLUMNS)]
    print("  ".join(column.ljust(width) for column, width in zip(COLUMNS, widths)))
    print("  ".join("-" * width for width in widths))
    for line in cells:
        print("  ".join(cell.ljust(width) for cell, width in zip(line, widths)))


def main():
    rows = []
    if any(path.name.endswith("_bench.cpp") for path in BENCH.iterdir()):
        build_core()
    for path in sorted(BENCH.iterdir()):
        if path.suffix == ".py" and path.name != pathlib.Path(__file__).name:
            print(f"running {path.name}", file=sys.stderr, flush=True)
            rows += rows_of(path.stem, python_command(path))
        elif path.name.endswith("_bench.cpp"):
            print(f"building and running {path.name}", file=sys.stderr, flush=True)
            rows += rows_of(path.stem, cpp_command(path))
    print_table(rows)
    # Falling short of a target is a finding, not a failure of the command.
    return 1 if any(row.get("verdict") == "no result" for row in rows) else 0


if __name__ == "__main__":
    sys.exit(main())
