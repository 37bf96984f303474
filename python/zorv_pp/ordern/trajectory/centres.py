"""Molecule centres of mass from atom positions, and their unwrapping from frame to frame.

Boxes are 3×3 matrices whose rows are the cell vectors (any triclinic cell).
A displacement is wrapped to its nearest image in fractional coordinates, so
the same code serves orthogonal and tilted cells and a box that changes from
frame to frame (the displacement is taken in the later frame's box).
"""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

FloatArray = npt.NDArray[np.float64]
IntArray = npt.NDArray[np.int64]

MAX_JUMP = 0.25
"""The largest step of a centre between two frames, as a share of the box along a cell vector, that is
taken for motion: half the box cannot be told from a wrap, and a quarter leaves room for the atoms' own
spread."""


class JumpError(ValueError):
    """A centre moved so far between two frames that its motion cannot be told from a wrap."""

    def __init__(self, molecule: int, share: float, limit: float) -> None:
        self.molecule, self.share, self.limit = molecule, share, limit
        super().__init__(f"molecule {molecule} moved {share:.2f} of the box between two frames (limit {limit:g})")


def nearest_image(displacement: FloatArray, box: FloatArray) -> tuple[FloatArray, FloatArray]:
    """``displacement`` (n, 3) moved to its nearest periodic image in ``box``, and its fractional form."""
    fractional = displacement @ np.linalg.inv(box)
    fractional -= np.round(fractional)
    return fractional @ box, fractional


@dataclass(frozen=True)
class Molecules:
    """Which atoms make each molecule, and their masses.

    ``atoms`` lists atom indices molecule by molecule, ``starts`` where each
    molecule's atoms begin in it (as ``np.add.reduceat`` takes them),
    ``masses`` the masses of ``atoms`` in the same order.
    """

    atoms: IntArray
    starts: IntArray
    masses: FloatArray

    @property
    def count(self) -> int:
        return int(self.starts.size)

    def owner(self) -> IntArray:
        """The molecule of each entry of ``atoms``."""
        sizes = np.diff(np.append(self.starts, self.atoms.size))
        return np.repeat(np.arange(self.count), sizes)

    def centres(self, positions: FloatArray, box: FloatArray | None) -> FloatArray:
        """Centres of mass (molecules, 3); with a ``box`` each molecule is first made whole about its first
        atom (atoms of one molecule lie within half a box of each other), else the positions are unwrapped."""
        x = np.asarray(positions, dtype=np.float64)[self.atoms]
        if box is not None:
            first = x[self.starts][self.owner()]
            x = first + nearest_image(x - first, box)[0]
        weighted = np.add.reduceat(x * self.masses[:, None], self.starts, axis=0)
        return weighted / np.add.reduceat(self.masses, self.starts)[:, None]


class Unwrapper:
    """Follows centres through the periodic boundaries: each frame's centre is the last one moved by the
    nearest image of its step, refused when a step exceeds ``max_jump`` of the box."""

    def __init__(self, max_jump: float = MAX_JUMP) -> None:
        self.max_jump = max_jump
        self._last: FloatArray | None = None

    def __call__(self, centres: FloatArray, box: FloatArray) -> FloatArray:
        if self._last is None:
            self._last = np.array(centres, dtype=np.float64)
            return self._last
        step, fractional = nearest_image(centres - self._last, box)
        share = np.abs(fractional).max(axis=1)
        worst = int(np.argmax(share))
        if share[worst] > self.max_jump:
            raise JumpError(worst, float(share[worst]), self.max_jump)
        self._last = self._last + step
        return self._last
