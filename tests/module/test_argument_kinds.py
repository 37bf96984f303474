"""Count, text and sequence conversions, exercised through functions that take them."""

import collections
import math
import os
import pathlib
import subprocess
import sys

import pytest

import _zorv_pp as z


def as_count(value):
    # with neighbor_count 0 the result is search_start itself
    return z.local_maximum_finder([], value, 0)


def as_floats(value):
    mean, _, count = z.repacking_results(value)
    return mean, count


class IndexLike:
    def __index__(self):
        return 12


@pytest.mark.parametrize("value, expected", [(0, 0), (True, 1), (2**64 - 1, 2**64 - 1), (IndexLike(), 12)])
def test_count_accepts(value, expected):
    result = as_count(value)
    assert result == expected and type(result) is int


@pytest.mark.parametrize(
    "value, exception",
    [(-1, OverflowError), (2**64, OverflowError), (2.0, TypeError), ("1", TypeError), (None, TypeError)],
)
def test_count_refuses_with_note(value, exception):
    with pytest.raises(exception) as info:
        as_count(value)
    assert type(info.value) is exception
    assert info.value.__notes__ == ["while processing 'search_start'"]


@pytest.mark.parametrize(
    "value, expected",
    [
        ([], (None, 0)),
        ((1, 2.5), (1.75, 2)),
        (range(3), (1.0, 3)),
        (b"\x01\x02", (1.5, 2)),
        (collections.deque([4.0]), (4.0, 1)),
        ([True, 3], (2.0, 2)),
    ],
)
def test_sequence_accepts(value, expected):
    mean, count = as_floats(value)
    assert count == expected[1]
    assert math.isnan(mean) if expected[0] is None else mean == expected[0]


class NotASequence:
    pass


@pytest.mark.parametrize(
    "value, message",
    [
        ("ab", "Can't extract `str` to `Vec`"),
        ("", "Can't extract `str` to `Vec`"),
        ({1: 2}, "'dict' object is not an instance of 'Sequence'"),
        ({1.0}, "'set' object is not an instance of 'Sequence'"),
        ((x for x in [1.0]), "'generator' object is not an instance of 'Sequence'"),
        (iter([1.0]), "'list_iterator' object is not an instance of 'Sequence'"),
        (None, "'None' is not an instance of 'Sequence'"),
        (NotASequence(), "'NotASequence' object is not an instance of 'Sequence'"),
        (3.0, "'float' object is not an instance of 'Sequence'"),
    ],
)
def test_sequence_refusals(value, message):
    with pytest.raises(TypeError) as info:
        z.repacking_results(value)
    assert str(info.value) == message
    assert info.value.__notes__ == ["while processing 'd_array'"]


def test_sequence_item_error_is_the_interpreters():
    with pytest.raises(TypeError) as info:
        z.repacking_results([1.0, "x"])
    assert "str" in str(info.value)
    assert info.value.__notes__ == ["while processing 'd_array'"]


class Lying(collections.abc.Sequence):
    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if isinstance(self.length, Exception):
            raise self.length
        return self.length

    def __getitem__(self, index):
        return self.items[index]  # IndexError ends the iteration

    def __iter__(self):
        return iter(self.items)


@pytest.mark.parametrize("length", [0, 1, 10**6, RuntimeError("len fails")])
def test_length_is_only_a_hint(length):
    assert as_floats(Lying([1.0, 2.0, 3.0], length)) == (2.0, 3)


def test_list_changed_by_item_conversion_reads_like_its_iterator():
    data = []

    class Shrinker:
        def __float__(self):
            data.clear()
            return 1.0

    data.extend([Shrinker(), 5.0, 6.0])
    assert as_floats(data) == (1.0, 1)


def test_iterator_failure_after_many_items():
    class Failing(collections.abc.Sequence):
        def __len__(self):
            return 2000

        def __getitem__(self, index):
            if index == 1000:
                raise ZeroDivisionError("boom")
            return 1.0

    with pytest.raises(ZeroDivisionError) as info:
        z.repacking_results(Failing())
    assert info.value.__notes__ == ["while processing 'd_array'"]


def test_capacity_overflow_raises_panic_not_caught_by_exception():
    code = """
import sys, collections.abc, _zorv_pp as z
class Huge(collections.abc.Sequence):
    def __len__(self): return 2**60
    def __getitem__(self, i): raise IndexError
try:
    try:
        z.repacking_results(Huge())
    except Exception:
        print("caught as Exception")
except BaseException as e:
    t = type(e)
    print(t.__module__, t.__name__, t.__bases__ == (BaseException,), str(e), e.args)
print(z.repacking_results([1.0, 3.0]))
"""
    run = subprocess.run(
        [sys.executable, "-c", code],
        capture_output=True,
        text=True,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == [
        "vuxo_runtime PanicException True capacity overflow ('capacity overflow',)",
        "(2.0, 1.0, 2)",
    ]
    assert "capacity overflow" in run.stderr


@pytest.mark.parametrize(
    "value, message",
    [
        (42, "'int' object is not an instance of 'str'"),
        (None, "'None' is not an instance of 'str'"),
        (b"path", "'bytes' object is not an instance of 'str'"),
        (pathlib.PurePosixPath("x"), "'PurePosixPath' object is not an instance of 'str'"),
    ],
)
def test_text_refusals(value, message):
    with pytest.raises(TypeError) as info:
        z.parse_volume_density(value)
    assert str(info.value) == message
    assert info.value.__notes__ == ["while processing 'path'"]


def test_text_without_utf8_form():
    with pytest.raises(UnicodeEncodeError) as info:
        z.parse_volume_density("bad\udcffname")
    assert info.value.__notes__ == ["while processing 'path'"]


def test_text_subclass_accepted_and_computation_error_has_no_note(tmp_path):
    class Path(str):
        pass

    with pytest.raises(OSError) as info:
        z.parse_volume_density(Path(str(tmp_path / "absent.dat")))
    assert type(info.value) is OSError
    assert info.value.errno is None
    assert not hasattr(info.value, "__notes__")


def test_second_text_parameter_named_in_note(tmp_path):
    with pytest.raises(TypeError) as info:
        z.read_group_count(str(tmp_path / "log"), 5)
    assert info.value.__notes__ == ["while processing 'group_name'"]
