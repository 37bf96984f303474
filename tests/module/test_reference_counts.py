"""Under a debug interpreter: no call, good or failing, leaks a reference or a block."""

import gc
import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from sample_calls import call_good, failing_calls, registered

pytestmark = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter")

ROUNDS = 2000


def swallow(call):
    try:
        call()
    except BaseException:  # PanicException derives from BaseException
        pass


def leaked(action):
    for _ in range(50):  # warm caches, interned strings and free lists
        action()
    gc.collect()
    refs, blocks = sys.gettotalrefcount(), sys.getallocatedblocks()
    for _ in range(ROUNDS):
        action()
    gc.collect()
    return sys.gettotalrefcount() - refs, sys.getallocatedblocks() - blocks


@pytest.mark.parametrize("name", registered())
def test_good_calls_do_not_leak(name):
    refs, blocks = leaked(lambda: call_good(name))
    assert refs < 10 and blocks < 10, (refs, blocks)


@pytest.mark.parametrize("name", registered())
def test_failing_calls_do_not_leak(name, capfd):
    for description, call in failing_calls(name):
        refs, blocks = leaked(lambda call=call: swallow(call))
        assert refs < 10 and blocks < 10, (description, refs, blocks)
    capfd.readouterr()  # the abort diagnostics
