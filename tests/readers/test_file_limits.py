"""Paths and files at the system's limits: an error or a result, never a crash."""

import os

import pytest

import _zorv_pp as z

GIB = 1 << 30


def test_path_longer_than_the_system_allows(tmp_path):
    path = str(tmp_path / ("x" * 300))  # one name over NAME_MAX
    with pytest.raises(OSError) as info:
        z.parse_volume_density(path)
    assert type(info.value) is OSError
    assert str(info.value) == path + ": File name too long (os error 36)"
    deep = "/".join(["y" * 200] * 30)  # over PATH_MAX in all
    with pytest.raises(OSError) as info:
        z.read_group_count(deep, "g")
    assert str(info.value) == deep + ": File name too long (os error 36)"


@pytest.fixture(scope="module")
def sparse_3gib(tmp_path_factory):
    """3 GiB: a volume-file head, a hole of NUL bytes, and a group report past 2^31 bytes."""
    path = tmp_path_factory.mktemp("big") / "big.log"
    with open(path, "wb") as handle:
        handle.write(b"# volume\n# step value\n0 1234.5\n")
        handle.seek(3 * GIB - 64)
        handle.write(b"\ngroup far\n  77 atoms in group far\n".ljust(64, b"#"))
    assert os.path.getsize(path) == 3 * GIB
    return str(path)


@pytest.mark.slow
def test_three_gib_file_read_whole_without_size_overflow(sparse_3gib):
    assert z.parse_volume_density(sparse_3gib) == 1234.5
    # the match lies beyond 2^31 bytes: found only if offsets are 64-bit
    assert z.read_group_count(sparse_3gib, "far") == 77
    with pytest.raises(ValueError):
        z.read_group_count(sparse_3gib, "absent")
