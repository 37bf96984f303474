"""Large arguments and long runs: results stay exact, memory stays flat."""

import os
import sys

import pytest

import _zorv_pp as z

sys.path.insert(0, os.path.dirname(__file__))

from sample_calls import GOOD, registered


def resident_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    pytest.skip("no /proc/self/status")


@pytest.mark.slow
@pytest.mark.parametrize("kind", [list, tuple, range])
def test_ten_million_items(kind):
    n = 10**7
    values = kind(range(n)) if kind is not range else range(n)
    mean, std, count = z.repacking_results(values)
    assert count == n
    assert mean == (n - 1) / 2


@pytest.mark.slow
def test_a_million_calls_leave_resident_memory_flat():
    calls = [
        (getattr(z, name), GOOD[name]) for name in registered() if not isinstance(GOOD[name][0], str)
    ]  # file readers are covered by their own tests

    def burst(rounds):
        for _ in range(rounds):
            for function, args in calls:
                function(*args)
            try:
                z.diffusion_adjustment("x", 1.0)
            except TypeError:
                pass

    burst(2000)
    before = resident_kib()
    burst(10**6 // (len(calls) + 1))
    grown = resident_kib() - before
    assert grown < 2048, f"resident memory grew by {grown} KiB"
