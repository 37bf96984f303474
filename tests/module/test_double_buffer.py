"""numpy arrays and array.array objects passed as sequences: float64 buffers are read
directly, everything else is iterated; either way the doubles must be exactly the ones
that iterating the object gives."""

import array
import random
import struct
import sys

import pytest

import _zorv_pp as z


@pytest.fixture(scope="module")
def np():
    return pytest.importorskip("numpy")


def element_wise(sequence):
    """x / ((1 - x) * 1.0) for every element: one output per input, NaN payloads kept."""
    return z.mass_fraction_to_molality(sequence, 1000.0)


def head(sequence):
    """The first element as the module received it, untouched by arithmetic: a fit
    that admits no window returns the first time value as it was passed."""
    _, times, _ = z.diff_calculator(sequence, [1.0] * len(sequence), 0.0, 2, 4, 0.0, 0.0)
    return times[0]


def bits(values):
    return struct.pack(f"<{len(values)}d", *values)


def bits_of(value):
    return struct.pack("<d", value)


SPECIAL_BITS = [
    0x0000000000000000,
    0x8000000000000000,  # +0.0, -0.0
    0x0000000000000001,
    0x800FFFFFFFFFFFFF,  # smallest and largest negative subnormal
    0x7FF0000000000000,
    0xFFF0000000000000,  # +inf, -inf
    0x7FF8000000000000,
    0xFFF8000000000000,  # quiet NaNs of either sign
    0x7FF800000000BEEF,
    0xFFFDEADBEEF00001,  # quiet NaNs with payloads
    0x7FF0000000000001,
    0x7FF4000000000ABC,  # signalling NaNs
    0x3FF0000000000000,
    0x7FEFFFFFFFFFFFFF,  # 1.0, largest finite
]
SPECIAL_BYTES = struct.pack(f"<{len(SPECIAL_BITS)}Q", *SPECIAL_BITS)


def random_doubles_bytes(count, seed):
    """Random bit patterns: every class of double, NaN payloads and subnormals included."""
    rng = random.Random(seed)
    return rng.randbytes(8 * count)


FLOAT64_LAYOUTS = {
    "contiguous": lambda np, a: a,
    "strided": lambda np, a: a[::3],
    "reversed": lambda np, a: a[::-1],
    "reversed strided": lambda np, a: a[-2::-5],
    "unaligned": lambda np, a: np.frombuffer(b"\0" + a.tobytes(), dtype="<f8", offset=1),
    "read-only": lambda np, a: np.frombuffer(a.tobytes(), dtype="<f8"),
    "column of a matrix": lambda np, a: a[: len(a) // 4 * 4].reshape(-1, 4)[:, 2],
    "broadcast scalar": lambda np, a: np.broadcast_to(a[7], (50,)),
    "empty": lambda np, a: a[:0],
}


@pytest.mark.skipif(sys.byteorder != "little", reason="the bit patterns are little-endian")
@pytest.mark.parametrize("layout", FLOAT64_LAYOUTS)
def test_float64_arrays_give_the_doubles_iteration_gives(np, layout):
    base = np.frombuffer(random_doubles_bytes(1000, seed=len(layout)), dtype="<f8").copy()
    values = FLOAT64_LAYOUTS[layout](np, base)
    assert values.dtype == np.float64 and values.ndim == 1
    assert bits(element_wise(values)) == bits(element_wise(list(values)))
    assert bits(element_wise(values)) == bits(element_wise(values.tolist()))


@pytest.mark.skipif(sys.byteorder != "little", reason="the bit patterns are little-endian")
def test_special_doubles_arrive_bit_for_bit(np):
    from_numpy = np.frombuffer(SPECIAL_BYTES, dtype="<f8")
    from_array = array.array("d", SPECIAL_BYTES)
    for i, pattern in enumerate(SPECIAL_BITS):
        expected = struct.pack("<Q", pattern)
        assert bits_of(head(from_numpy[i:])) == expected, hex(pattern)
        assert bits_of(head(from_numpy[i::-1])) == expected, hex(pattern)
        assert bits_of(head(from_array[i:])) == expected, hex(pattern)


OTHER_DTYPES = ["<f4", "<f2", ">f8", ">f4", "<i8", "<u8", "<i4", "u1", "O"]


@pytest.mark.parametrize("dtype", OTHER_DTYPES)
def test_other_dtypes_convert_as_iteration_does(np, dtype):
    raw = np.frombuffer(random_doubles_bytes(300, seed=3), dtype="<f8")
    if dtype in ("<f4", "<f2", ">f8", ">f4"):
        with np.errstate(over="ignore", invalid="ignore"):
            values = raw.astype(dtype)
    elif dtype == "O":
        values = np.array([float(x) for x in raw[:50]] + [7, True], dtype=object)
    else:
        width = np.dtype(dtype).itemsize
        values = np.frombuffer(random_doubles_bytes(300, seed=4)[: 300 // width * width], dtype=dtype)
    assert bits(element_wise(values)) == bits(element_wise(list(values)))


@pytest.mark.parametrize("typecode", ["d", "f", "b", "i", "q", "Q"])
def test_array_module_arrays_convert_as_iteration_does(typecode):
    rng = random.Random(typecode)
    if typecode == "d":
        values = array.array("d", random_doubles_bytes(200, seed=5))
    elif typecode == "f":
        values = array.array("f", rng.randbytes(4 * 200))
    else:
        size = array.array(typecode).itemsize
        values = array.array(typecode, rng.randbytes(size * 200))
    assert bits(element_wise(values)) == bits(element_wise(list(values)))


def test_exported_buffer_is_released():
    # An array.array refuses to resize while a buffer of it is exported.
    for typecode in ("d", "f"):
        values = array.array(typecode, [0.25, 0.5])
        element_wise(values)
        values.append(1.0)
        assert element_wise(values)[-1] == float("inf")


def test_subclasses_are_iterated(np):
    class Doubling(np.ndarray):
        def __iter__(self):
            return (2.0 * float(x) for x in np.ndarray.__iter__(self))

    class Halving(array.array):
        def __iter__(self):
            return (0.5 * x for x in array.array.__iter__(self))

    values = [0.125, 0.25, -0.375]
    doubled = np.array(values).view(Doubling)
    halved = Halving("d", values)
    assert element_wise(doubled) == element_wise([2.0 * x for x in values])
    assert element_wise(halved) == element_wise([0.5 * x for x in values])


def test_arrays_of_other_shapes_are_iterated(np):
    with pytest.raises(TypeError) as matrix:
        element_wise(np.zeros((2, 2)))
    assert matrix.value.__notes__ == ["while processing 'mass_fraction'"]
    with pytest.raises(TypeError, match="0-d array") as scalar:
        element_wise(np.array(0.5))
    assert scalar.value.__notes__ == ["while processing 'mass_fraction'"]


def test_large_array_matches_list(np):
    values = np.linspace(0.0, 0.5, 300_001)
    assert bits(element_wise(values)) == bits(element_wise(values.tolist()))


def test_array_that_exports_no_buffer_is_iterated(np):
    # numpy exports no buffer for datetimes: the refusal is dropped and the items
    # are refused one by one, exactly as for a list of them.
    dates = np.array(["2020-01-01", "2020-01-02"], dtype="M8[D]")
    with pytest.raises(TypeError) as from_array:
        element_wise(dates)
    with pytest.raises(TypeError) as from_list:
        element_wise(list(dates))
    assert str(from_array.value) == str(from_list.value)
    assert from_array.value.__notes__ == ["while processing 'mass_fraction'"]
