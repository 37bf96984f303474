"""Files written atomically: a reader never sees half a file."""

from __future__ import annotations

import contextlib
import os
import tempfile
from collections.abc import Callable, Iterator
from pathlib import Path
from typing import IO


@contextlib.contextmanager
def atomic_path(path: str | os.PathLike[str]) -> Iterator[Path]:
    """A temporary path beside ``path``; renamed onto it only if the block ends normally."""
    target = Path(path)
    target.parent.mkdir(parents=True, exist_ok=True)
    handle, name = tempfile.mkstemp(prefix=f".{target.name}.", suffix=target.suffix, dir=target.parent)
    os.close(handle)
    # mkstemp makes the file private; results get the mode a plain open() would give.
    os.chmod(name, 0o666 & ~_umask())
    try:
        yield Path(name)
        os.replace(name, target)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(name)
        raise


def _umask() -> int:
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


def write_atomic(path: str | os.PathLike[str], write: Callable[[IO[str]], object]) -> Path:
    """Write the text that ``write`` produces to ``path`` atomically (fsynced, then renamed)."""
    with atomic_path(path) as scratch:
        with open(scratch, "w", encoding="utf-8", newline="") as stream:
            write(stream)
            stream.flush()
            os.fsync(stream.fileno())
    return Path(path)
