import fractions
import pathlib

import pytest

import _zorv_pp as z


class FloatLike:
    def __float__(self):
        return 2.5


class IndexLike:
    def __index__(self):
        return 7


class FloatSub(float):
    def __float__(self):  # ignored: the value of a float subclass is its own
        return 99.0


def diffusion(time):
    """Exactly 1.0 / (time * 6.0): isolates the float conversion of the first parameter."""
    return z.diffusion_adjustment(time, 1.0)


@pytest.mark.parametrize(
    "value, as_float",
    [
        (3, 3.0),
        (True, 1.0),
        (-1.0, -1.0),
        (-1, -1.0),
        (FloatLike(), 2.5),
        (IndexLike(), 7.0),
        (FloatSub(4.0), 4.0),
        (fractions.Fraction(1, 4), 0.25),
        (2**53 + 1, float(2**53 + 1)),
    ],
)
def test_float_conversion_accepts(value, as_float):
    assert diffusion(value) == 1.0 / (as_float * 6.0)


@pytest.mark.parametrize(
    "value, exception",
    [("a", TypeError), (None, TypeError), ([1.0], TypeError), (2**1024, OverflowError), (1j, TypeError)],
)
def test_float_conversion_refuses_with_note(value, exception):
    with pytest.raises(exception) as info:
        z.diffusion_adjustment(1.0, value)
    assert type(info.value) is exception
    assert info.value.__notes__ == ["while processing 'hop_distance'"]


def test_first_failing_parameter_is_named_and_later_ones_untouched():
    class Exploding:
        def __float__(self):
            raise AssertionError("must not be converted")

    with pytest.raises(TypeError) as info:
        z.tau_calculator(1.0, 2.0, "300", Exploding(), 5.0, 6.0)
    assert info.value.__notes__ == ["while processing 'temperature'"]


def test_exception_from_dunder_float_passes_through_with_note():
    class Raising:
        def __float__(self):
            raise KeyError("inner")

    with pytest.raises(KeyError) as info:
        z.diffusion_adjustment(Raising(), 1.0)
    assert info.value.args == ("inner",)
    assert info.value.__notes__ == ["while processing 'time_between_hops'"]


def test_note_added_once_more_keeps_existing_notes():
    class Noted:
        def __float__(self):
            error = ValueError("x")
            error.add_note("first")
            raise error

    with pytest.raises(ValueError) as info:
        z.diffusion_adjustment(Noted(), 1.0)
    assert info.value.__notes__ == ["first", "while processing 'time_between_hops'"]


def test_broken_add_note_leaves_exception_unchanged():
    class BadNotes(Exception):
        def add_note(self, note):
            raise RuntimeError("no notes here")

    class Raising:
        def __float__(self):
            raise BadNotes("original")

    with pytest.raises(BadNotes) as info:
        z.diffusion_adjustment(Raising(), 1.0)
    assert info.value.args == ("original",)
    assert not hasattr(info.value, "__notes__")


def test_path_like_is_no_float():
    with pytest.raises(TypeError) as info:
        z.diffusion_adjustment(pathlib.Path("x"), 1.0)
    assert info.value.__notes__ == ["while processing 'time_between_hops'"]
