"""read_series on 10^6 rows x 7 columns of a LAMMPS fix ave/time file and of a
GROMACS xvg file, against its peer in the same run: a minimal C++ loop that
reads the file into memory and converts every token with std::from_chars
(bench/series_read_peer.cpp). numpy's nearest equivalent, numpy.loadtxt,
takes several times that loop here, so the loop is the peer. Prints times and
the ratio ours / peer; the target is at most 1.5x.

    python3 bench/series_read_bench.py [--rows 1000000] [--repeats 3]

Needs the built module on sys.path (ZORV_MODULE_DIR, as the tests do) and a
C++ compiler (c++).
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.environ.get("ZORV_MODULE_DIR", ""))
sys.path.insert(0, os.path.join(ROOT, "python"))
from transport_table_bench import best_of  # noqa: E402  (this folder is the script's first path)

import _zorv_analysis  # noqa: E402
from zorv_pp.ordern import read_series  # noqa: E402

TARGET = 1.5
LEGENDS = ("Pres-XX", "Pres-YY", "Pres-ZZ", "Pres-XY", "Pres-XZ", "Pres-YZ")


def bench_row(function, workload, ours, peer, ratio, target, met):
    verdict = "information" if met is None else "pass" if met else "fall short"
    row = {"function": function, "workload": workload, "time": ours, "peer": peer, "ratio": ratio}
    print("bench-row " + json.dumps({**row, "target": target, "verdict": verdict}))


def pressures(rows):
    """Six pressure-tensor components in bar or atm, of the size MD runs give."""
    rng = np.random.default_rng(7)
    return rng.normal(0.0, 400.0, (rows, 6)) + np.array([1.0, 1.0, 1.0, 0.0, 0.0, 0.0])


def write_lammps(path, rows):
    """As fix ave/time writes it: the step, then each value with %g."""
    values = pressures(rows)
    with open(path, "w") as f:
        f.write("# Time-averaged data for fix pt\n# TimeStep c_P[1] c_P[2] c_P[3] c_P[4] c_P[5] c_P[6]\n")
        for start in range(0, rows, 100_000):
            block = values[start : start + 100_000]
            f.write(
                "".join(f"{10 * (start + i)}" + "".join(f" {v:g}" for v in row) + "\n" for i, row in enumerate(block))
            )


def write_xvg(path, rows):
    """As gmx energy writes it: '#' and '@' lines, then the time and each value in fixed point."""
    values = pressures(rows)
    with open(path, "w") as f:
        f.write("# This file was created by gmx energy\n")
        f.write('@    title "GROMACS Energies"\n@    xaxis  label "Time (ps)"\n@    yaxis  label "(bar)"\n@TYPE xy\n')
        f.write("".join(f'@ s{k} legend "{name}"\n' for k, name in enumerate(LEGENDS)))
        for start in range(0, rows, 100_000):
            block = values[start : start + 100_000]
            f.write(
                "".join(
                    f"{0.002 * (start + i):12.6f}" + "".join(f"  {v:12.6f}" for v in row) + "\n"
                    for i, row in enumerate(block)
                )
            )


def build_peer(directory):
    program = os.path.join(directory, "series_read_peer")
    source = os.path.join(ROOT, "bench", "series_read_peer.cpp")
    subprocess.run(["c++", "-std=c++20", "-O2", source, "-o", program], check=True)
    return program


def peer_time(program, path, repeats):
    out = subprocess.run([program, path, str(repeats)], check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1])


def bench(program, path, engine, repeats):
    size = os.path.getsize(path)
    series = read_series(path)
    rows = len(series.time)
    workload = f"{engine}: {rows:,} rows x {len(series.names)} columns, {size / 1e6:.0f} MB"
    peer, last_sum = peer_time(program, path, repeats)
    ours_sum = sum(float(column[-1]) for column in series.columns.values())
    assert abs(ours_sum - last_sum) <= 1e-9 * max(1.0, abs(last_sum)), "the peer reads other values"
    kind = "lammps" if engine == "LAMMPS" else "xvg"
    native = best_of(repeats, lambda: _zorv_analysis.read_series(path, kind))
    front = best_of(repeats, lambda: read_series(path))
    print(f"{workload}")
    print(f"  peer: read + from_chars    {peer:8.3f} s")
    print(f"  _zorv_analysis.read_series {native:8.3f} s   {native / peer:4.2f}x the peer")
    print(f"  zorv_pp read_series        {front:8.3f} s   {front / peer:4.2f}x the peer (target <= {TARGET:g}x)")
    bench_row(
        "read_series",
        workload,
        f"{front:.3f} s",
        f"read + from_chars (C++) {peer:.3f} s",
        f"{front / peer:.2f}x peer",
        f"<= {TARGET:g}x peer",
        front <= TARGET * peer,
    )


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(dir=os.environ.get("ZORV_BENCH_DIR")) as directory:
        program = build_peer(directory)
        for engine, write, name in (("LAMMPS", write_lammps, "pt.dat"), ("GROMACS", write_xvg, "energy.xvg")):
            path = os.path.join(directory, name)
            write(path, args.rows)
            bench(program, path, engine, args.repeats)


if __name__ == "__main__":
    main()
