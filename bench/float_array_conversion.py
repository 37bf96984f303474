"""Sequence conversion of a 10^6-element float64 numpy array (read from its buffer)
against the peer: the same values as a list of floats (read item by item), in the
same run. Target: the array at least 20 times faster than the list.

The vehicle is local_maximum_finder with neighbor_count 0, which returns at once
after converting its data, so the call time is the conversion's.

    python3 bench/float_array_conversion.py        (module built or installed)
"""

import json
import os
import sys
import timeit

_module_dir = os.environ.get("ZORV_MODULE_DIR")
if _module_dir:
    sys.path.insert(0, _module_dir)

import numpy as np  # noqa: E402

import _zorv_pp  # noqa: E402

COUNT = 1_000_000
TARGET = 20.0


def best_seconds(call, repeat=15):
    return min(timeit.repeat(call, number=1, repeat=repeat))


def main():
    if not hasattr(_zorv_pp, "local_maximum_finder"):
        print("float_array_conversion: local_maximum_finder is not registered; nothing to measure")
        return 0
    values = np.random.default_rng(1).standard_normal(COUNT)
    as_list = values.tolist()
    convert = _zorv_pp.local_maximum_finder
    assert convert(values, 0, 0) == 0 and convert(as_list, 0, 0) == 0
    array_time = best_seconds(lambda: convert(values, 0, 0))
    list_time = best_seconds(lambda: convert(as_list, 0, 0))
    strided_time = best_seconds(lambda: convert(values[::2], 0, 0))
    ratio = list_time / array_time
    verdict = "pass" if ratio >= TARGET else "fall short"
    print(f"float_array_conversion  workload: {COUNT:,} float64")
    print(f"  numpy array (buffer)   {array_time * 1e3:8.3f} ms")
    print(f"  list of floats (peer)  {list_time * 1e3:8.3f} ms")
    print(f"  strided view, {COUNT // 2:,}  {strided_time * 1e3:8.3f} ms")
    print(f"  ratio list/array {ratio:.1f}x, target {TARGET:.0f}x: {verdict}")
    print(
        "bench-row "
        + json.dumps(
            {
                "function": "sequence argument (numpy float64)",
                "workload": f"{COUNT:,} doubles",
                "time": f"{array_time * 1e3:.3f} ms",
                "peer": f"list of floats {list_time * 1e3:.3f} ms",
                "ratio": f"{ratio:.1f}x",
                "target": f">= {TARGET:.0f}x",
                "verdict": verdict,
            }
        )
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
