"""The streaming order-n accumulator of molecule positions (nb 10, nbe 10)
against its peer, a vectorised numpy order-n of the same frames held whole in
memory (per block, per lag: differences, squares, sums per species), in one
run; prints molecule-frames per second and the ratio peer time / ours.

    python3 bench/ordern_accumulate_bench.py [--molecules 1000] [--frames 2000] [--stream 1000000]

``--stream N`` also feeds N frames (nb 10, nbe 20) made one at a time, as a
trajectory read from disk gives them, and prints the growth of the peak
resident memory against the first 1,000 frames' (peer: the same accumulator
after 1,000 frames; the target: under 200 MB at 10⁶ frames of 1,000 molecules).

Needs the built module on sys.path (ZORV_MODULE_DIR, as the tests do).
"""

import argparse
import json
import os
import resource
import sys
import time

import numpy as np

sys.path.insert(0, os.environ.get("ZORV_MODULE_DIR", ""))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "python"))
from zorv_pp.ordern import PositionOrderN  # noqa: E402

TARGET = 20e6  # molecule-frames per second on one core


def bench_row(function, workload, ours, peer, ratio, target, met):
    verdict = "information" if met is None else "pass" if met else "fall short"
    row = {"function": function, "workload": workload, "time": ours, "peer": peer, "ratio": ratio}
    print("bench-row " + json.dumps({**row, "target": target, "verdict": verdict}))


def numpy_order_n(x, which, groups, nb, nbe):
    out = []
    for b in range(nb):
        a = x[:: nbe**b]
        for k in range(1, min(nbe, a.shape[0] - 1) + 1):
            squares = np.einsum("fmd,fmd->m", a[k:] - a[:-k], a[k:] - a[:-k])
            out.append(np.bincount(which, squares, minlength=groups))
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--molecules", type=int, default=1000)
    parser.add_argument("--frames", type=int, default=2000)
    parser.add_argument("--stream", type=int, default=0, metavar="N")
    args = parser.parse_args()
    if args.stream:
        stream(args.molecules, args.stream)
    rng = np.random.default_rng(1)
    which = rng.integers(0, 3, size=args.molecules)
    x = np.cumsum(rng.normal(size=(args.frames, args.molecules, 3)), axis=0)
    work = args.molecules * args.frames

    acc = PositionOrderN(["a", "b", "c"], which, 10, 10, 1.0)
    start = time.perf_counter()
    for frame in x:
        acc.add(frame)
    sums = acc.sums()
    ours = time.perf_counter() - start
    start = time.perf_counter()
    peer = numpy_order_n(x, which, 3, 10, 10)
    theirs = time.perf_counter() - start
    np.testing.assert_allclose(sums.squares, np.array(peer), rtol=1e-9)
    rate = work / ours
    bench_row(
        "PositionOrderN.add",
        f"{args.molecules} molecules x {args.frames} frames, nb 10, nbe 10",
        f"{ours:.3f} s ({rate / 1e6:.1f} M molecule-frames/s)",
        f"numpy order-n {theirs:.3f} s",
        f"{theirs / ours:.2f}",
        f">= {TARGET / 1e6:.0f} M molecule-frames/s",
        rate >= TARGET,
    )


def peak_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0  # kB on Linux


def stream(molecules, frames):
    """Peak memory while N frames stream through the accumulator, against its first 1,000."""
    rng = np.random.default_rng(2)
    which = rng.integers(0, 3, size=molecules)
    acc = PositionOrderN(["a", "b", "c"], which, 10, 20, 1.0)
    x = np.zeros((molecules, 3))
    start = time.perf_counter()
    early = None
    for f in range(frames):
        x += rng.normal(size=x.shape)
        acc.add(x)
        if f == 999:
            early = peak_mb()
    acc.sums()
    seconds = time.perf_counter() - start
    late = peak_mb()
    bench_row(
        "PositionOrderN streaming memory",
        f"{molecules} molecules x {frames} frames made one at a time, nb 10, nbe 20",
        f"peak {late:.0f} MB ({seconds:.0f} s)",
        f"after 1,000 frames {early:.0f} MB",
        f"{late / early:.3f}",
        "< 200 MB",
        late < 200.0,
    )


if __name__ == "__main__":
    main()
