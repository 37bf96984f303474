"""The frames of an opened trajectory as unwrapped molecule centres, one at a time, checked as they pass:
a constant time step, a box that the reader can follow, centres that can be unwrapped."""

from __future__ import annotations

import math
from collections.abc import Iterable, Iterator
from dataclasses import dataclass
from typing import Any

import numpy as np

from ...units import AVOGADRO, UnitStyle
from ..errors import SourceError
from .centres import MAX_JUMP, FloatArray, JumpError, Molecules, Unwrapper
from .opening import Opened

TIME_TOLERANCE = 1e-4
"""Relative spread of the steps between frames taken for one time step (XTC stores times as float32)."""
FLOAT32_EPS = float(np.finfo(np.float32).eps)


@dataclass(frozen=True)
class Frame:
    """A frame's index among those read, time (the style's unit), cell (rows a, b, c), volume, unwrapped
    centres and kinetic temperature (None without velocities)."""

    index: int
    time: float
    box: FloatArray
    volume: float
    centres: FloatArray
    temperature: float | None


def kinetic_temperature(masses: FloatArray, velocities: FloatArray, style: UnitStyle) -> float:
    """Σ m v² / (k_B (3N − 3)), masses in g/mol (reduced for lj) and velocities in the style's length per time:
    the centre of mass's motion is no thermal freedom."""
    twice = float(np.sum(masses * np.einsum("ij,ij->i", velocities, velocities)))
    freedom = 3 * masses.size - 3
    if style.reduced:
        return twice / freedom
    speed = style.length / style.time
    return twice * 1e-3 / AVOGADRO * speed * speed / (style.boltzmann * freedom)


def _box(ts: object) -> tuple[FloatArray, float]:
    """The frame's cell (rows a, b, c) and its volume."""
    box = getattr(ts, "triclinic_dimensions", None)
    volume = abs(float(np.linalg.det(box))) if box is not None else 0.0
    if not (math.isfinite(volume) and volume > 0.0):
        raise SourceError("a frame has no periodic box: order-n needs the cell of every frame")
    return np.asarray(box, dtype=np.float64), volume


def frames(opened: Opened, molecules: Molecules, every: int, max_jump: float = MAX_JUMP) -> Iterator[Frame]:
    """Every ``every``-th frame, from the first; all frames are read and checked (and unwrapped through)."""
    unwrap = Unwrapper(max_jump) if opened.coordinates == "wrapped" else None
    masses = opened.masses
    first_box: FloatArray | None = None
    clock = _Clock()
    for ts in _read(opened.universe.trajectory):
        index, time, (box, volume) = ts.frame, opened.time_of(ts), _box(ts)
        clock(time, index)
        if first_box is None:
            first_box = box
        elif opened.fixed_box and not np.allclose(box, first_box, rtol=1e-6, atol=0.0):
            raise SourceError(
                f"the box changes at frame {index}: MDAnalysis moves each frame of a LAMMPS dump to its box's "
                f"lower corner, which moves every molecule when the box changes; sample at constant volume, "
                f"or write the trajectory as DCD"
            )
        centres = molecules.centres(ts.positions, box if unwrap else None)
        if unwrap is not None:
            try:
                centres = unwrap(centres, box)
            except JumpError as jump:
                raise SourceError(
                    f"frame {index}: {jump}, which cannot be told from a crossing of the boundary: write "
                    f"unwrapped coordinates (LAMMPS xu yu zu, or image flags ix iy iz) or frames more often"
                ) from None
        if index % every:
            continue
        temperature = None
        if ts.has_velocities:
            v = np.asarray(ts.velocities, dtype=np.float64) * opened.velocity_factor
            temperature = kinetic_temperature(masses, v, opened.style)
        yield Frame(index, time, box, volume, centres, temperature)


def _read(trajectory: Iterable[Any]) -> Iterator[Any]:
    """The reader's frames; its failure on a damaged file becomes a :class:`SourceError` naming the frame."""
    frames = iter(trajectory)
    index = 0
    while True:
        try:
            ts = next(frames)
        except StopIteration:
            return
        except (OSError, ValueError, EOFError, IndexError) as error:
            raise SourceError(f"cannot read frame {index} of the trajectory: {error}") from None
        yield ts
        index += 1


class _Clock:
    """Refuses a frame whose step from the last differs from the step between the first two."""

    def __init__(self) -> None:
        self.step: float | None = None
        self.last: float | None = None

    def __call__(self, time: float, index: int) -> None:
        if self.last is not None:
            delta = time - self.last
            if self.step is None:
                if not delta > 0.0:
                    raise SourceError(f"frame {index}: the time {time:g} does not follow {self.last:g}")
                self.step = delta
            elif abs(delta - self.step) > TIME_TOLERANCE * self.step + 4.0 * FLOAT32_EPS * abs(time):
                raise SourceError(
                    f"the time step changes at frame {index} ({delta:g} after {self.step:g}): order-n needs "
                    f"frames equally spaced in time; give one run's frames, written at one interval"
                )
        self.last = time
