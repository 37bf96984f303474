"""parse_zorv_file against its floor on a large transport table (reading the
file's bytes plus boxing as many floats into lists as the table holds), with
numpy.loadtxt and pandas.read_csv shown for information, and the single-value
readers against a plain read of a large file with its UTF-8 check, all in one
run. Prints times, ratios and the peak memory of a table read.

    python3 bench/transport_table_bench.py [--rows 2000000] [--log-mb 1024]

Needs the built module on sys.path (ZORV_MODULE_DIR, as the tests do); numpy
and pandas are timed when present.
"""

import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time
from array import array

sys.path.insert(0, os.environ.get("ZORV_MODULE_DIR", ""))
import _zorv_pp as z  # noqa: E402

COMMENTS = ["# Self-diffusion MSD, all time origins", "# Units: fs and A^2", "#"]
NAMES = ["Time", "MSD_K", "MSD_OH", "MSD_H2O", "MSD_all", "MSD_x"]
# Parsing the decimal text costs about as much again as the floor itself, so a
# reader that returns lists lands near twice its floor; a quarter more is noise.
FLOOR_FACTOR = 2.5


def bench_row(function, workload, ours, peer, ratio, target, met):
    """One line of the table that bench/run_all.py gathers; met None marks a row
    shown for information, with no target."""
    verdict = "information" if met is None else "pass" if met else "fall short"
    print(
        "bench-row "
        + json.dumps(
            {
                "function": function,
                "workload": workload,
                "time": ours,
                "peer": peer,
                "ratio": ratio,
                "target": target,
                "verdict": verdict,
            }
        )
    )


def write_table(path, rows):
    """2,000,000 rows by default, six columns in %.6e-like formats."""
    with open(path, "w") as f:
        f.write("\n".join(COMMENTS) + "\n#" + " ".join(NAMES) + "\n")
        chunk = []
        for i in range(rows):
            t = 0.5 * (i + 1)
            chunk.append(
                f"{t:.6e} {1.3e-4 * t:.6e} {2.1e-4 * t + 0.3:.6e} {-1.7e-6 * i:.5E} "
                f"{t * 1e-3 + 1e-9:.8e} {(i % 977) * 1.25e-3:.6e}\n"
            )
            if len(chunk) == 100000:
                f.write("".join(chunk))
                chunk.clear()
        f.write("".join(chunk))


def write_log(path, megabytes, match_line):
    """A LAMMPS-like log of thermo lines, with the group command near its start."""
    thermo = "".join(
        f"{1000 * i:8d} {300 + i % 7:12.6f} {-12345.6789 + i:14.4f} {1.0132e3:12.4f}\n" for i in range(10000)
    )
    target = megabytes * 1024 * 1024
    with open(path, "w") as f:
        f.write("LAMMPS (2 Aug 2023)\n" + match_line)
        while f.tell() < target:
            f.write(thermo)


def best_of(repeats, call):
    """Least time to produce the result; freeing it is left off the clock."""
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        result = call()
        times.append(time.perf_counter() - start)
        del result
    return min(times)


def floor_of(path, table, repeats):
    """Times of the two costs no reader returning lists avoids: the file's bytes
    read into memory, and as many floats as the table holds boxed into lists
    (from values already parsed, so no parsing is timed)."""
    columns = [array("d", values) for values in table.values()]
    read = best_of(repeats, lambda: pathlib.Path(path).read_bytes())
    box = best_of(repeats, lambda: [column.tolist() for column in columns])
    return read, box


def peers(path):
    out = {}
    try:
        import numpy

        def numpy_read():
            data = numpy.loadtxt(path, comments=None, skiprows=len(COMMENTS) + 1)
            return {name: data[:, k].tolist() for k, name in enumerate(NAMES)}

        out["numpy.loadtxt"] = numpy_read
    except ImportError:
        print("numpy missing: not timed")
    try:
        import pandas

        def pandas_read():
            frame = pandas.read_csv(path, sep=r"\s+", skiprows=len(COMMENTS) + 1, header=None, names=NAMES)
            return {name: frame[name].tolist() for name in NAMES}

        out["pandas.read_csv"] = pandas_read
    except ImportError:
        print("pandas missing: not timed")
    return out


def peak_memory(path):
    """Peak resident memory of a fresh interpreter while it reads the table,
    less its resident memory before: VmHWM, which starts afresh at exec (unlike
    ru_maxrss, which a child inherits from this large parent)."""
    code = (
        "import sys; sys.path.insert(0, sys.argv[2]); import _zorv_pp as z\n"
        "def hwm():\n"
        "    return next(int(l.split()[1]) for l in open('/proc/self/status') if l.startswith('VmHWM'))\n"
        "before = hwm(); t = z.parse_zorv_file(sys.argv[1])\n"
        "print(before, hwm(), sum(map(len, t.values())))"
    )
    out = subprocess.run(
        [sys.executable, "-c", code, path, os.environ.get("ZORV_MODULE_DIR", "")],
        capture_output=True,
        text=True,
        check=True,
    ).stdout.split()
    before_kb, peak_kb, values = map(int, out)
    return (peak_kb - before_kb) * 1024, values


def table_bench(directory, rows, repeats):
    path = os.path.join(directory, "diffself.dat")
    write_table(path, rows)
    size = os.path.getsize(path)
    print(f"table: {rows} rows x {len(NAMES)} columns, {size / 1e6:.1f} MB")
    workload = f"{size / 1e6:.0f} MB table, {rows * len(NAMES):,} values"
    ours = best_of(repeats, lambda: z.parse_zorv_file(path))
    print(f"  parse_zorv_file          {ours:8.3f} s")
    read, box = floor_of(path, z.parse_zorv_file(path), repeats)
    floor = read + box
    print(
        f"  floor: read bytes {read:.3f} s + box floats {box:.3f} s = {floor:.3f} s   "
        f"parse_zorv_file takes {ours / floor:4.2f}x the floor (target <= {FLOOR_FACTOR:g}x)"
    )
    bench_row(
        "parse_zorv_file",
        workload,
        f"{ours:.3f} s",
        f"floor: read bytes {read:.3f} s + box floats {box:.3f} s",
        f"{ours / floor:.2f}x floor",
        f"<= {FLOOR_FACTOR:g}x floor",
        ours <= FLOOR_FACTOR * floor,
    )
    for name, call in peers(path).items():
        assert call() == z.parse_zorv_file(path), f"{name} reads other values"
        theirs = best_of(repeats, call)
        print(f"  {name:24s} {theirs:8.3f} s   parse_zorv_file is {theirs / ours:5.1f}x faster")
        bench_row(
            "parse_zorv_file",
            workload,
            f"{ours:.3f} s",
            f"{name} + tolist {theirs:.3f} s",
            f"{theirs / ours:.1f}x faster",
            "information",
            None,
        )
    peak, values = peak_memory(path)
    budget = size + 40 * values
    print(
        f"  peak memory of a read    {peak / 1e6:8.1f} MB   budget file + 40 B/value = {budget / 1e6:.1f} MB "
        f"({peak / budget:.2f} of it)"
    )
    bench_row(
        "parse_zorv_file",
        "peak memory of that read",
        f"{peak / 1e6:.0f} MB",
        f"budget {budget / 1e6:.0f} MB",
        f"{peak / budget:.2f} of budget",
        "<= file + 40 B/value",
        peak <= budget,
    )


def single_value_bench(directory, megabytes, repeats):
    path = os.path.join(directory, "log.lammps")
    write_log(path, megabytes, "group OH type 2\n12 atoms in group OH\n")
    size = os.path.getsize(path)
    print(f"log: {size / 1e6:.0f} MB, the group command on line 1")

    def plain_read():
        with open(path, "rb") as f:
            return f.read().decode("utf-8")

    peer = best_of(repeats, plain_read)
    print(f"  read + UTF-8 decode (peer) {peer:8.3f} s   {size / peer / 1e9:5.2f} GB/s")
    for name, call in (
        ("read_group_count", lambda: z.read_group_count(path, "OH")),
        ("parse_volume_density", lambda: z.parse_volume_density(path)),
    ):
        ours = best_of(repeats, call)
        print(f"  {name:26s} {ours:8.3f} s   {size / ours / 1e9:5.2f} GB/s   {ours / peer:4.2f} of the peer's time")
        bench_row(
            name,
            f"{size / 1e6:.0f} MB log, match near the start",
            f"{ours:.3f} s",
            f"read + UTF-8 decode {peer:.3f} s",
            f"{ours / peer:.2f} of peer",
            "<= read + UTF-8 check",
            ours <= peer,
        )


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=2_000_000)
    parser.add_argument("--log-mb", type=int, default=1024)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(dir=os.environ.get("ZORV_BENCH_DIR")) as directory:
        table_bench(directory, args.rows, args.repeats)
        single_value_bench(directory, args.log_mb, args.repeats)


if __name__ == "__main__":
    main()
