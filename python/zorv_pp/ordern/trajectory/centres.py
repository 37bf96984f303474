"""Molecule centres of mass from atom positions, and their unwrapping from frame to frame.

Boxes are 3×3 matrices whose rows are the cell vectors (any triclinic cell).
A displacement is wrapped to its nearest image in fractional coordinates, so
the same code serves orthogonal and tilted cells and a box that changes from
frame to frame (the displacement is taken in the later frame's box).
"""

from __future__ import annotations

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
    sides = np.diagonal(box)
    if np.count_nonzero(box) == np.count_nonzero(sides):  # orthogonal: no matrix products
        fractional = displacement / sides
        fractional -= np.round(fractional)
        return fractional * sides, fractional
    fractional = displacement @ np.linalg.inv(box)
    fractional -= np.round(fractional)
    return fractional @ box, fractional


class Molecules:
    """Which atoms make each molecule, and their masses.

    ``atoms`` lists atom indices molecule by molecule, ``starts`` where each
    molecule's atoms begin in it (as ``np.add.reduceat`` takes them),
    ``masses`` the masses of ``atoms`` in the same order (every molecule's sum positive).
    """

    def __init__(self, atoms: IntArray, starts: IntArray, masses: FloatArray) -> None:
        self.atoms, self.starts, self.masses = atoms, starts, masses
        sizes = np.diff(np.append(starts, atoms.size))
        owner = np.repeat(np.arange(starts.size), sizes)
        # Per frame only gathers, one product and one sum: the rest is the same every frame.
        self._first = starts[owner]
        self._weights = (masses / np.add.reduceat(masses, starts)[owner])[:, None]
        self._in_order = bool(np.array_equal(atoms, np.arange(atoms.size)))

    @property
    def count(self) -> int:
        return int(self.starts.size)

    def centres(self, positions: FloatArray, box: FloatArray | None) -> FloatArray:
        """Centres of mass (molecules, 3); with a ``box`` each molecule is first made whole about its first
        atom (atoms of one molecule lie within half a box of each other), else the positions are unwrapped."""
        given = np.asarray(positions)
        x = (given[: self.atoms.size] if self._in_order else given[self.atoms]).astype(np.float64)
        if box is not None:
            first = x[self._first]
            x = first + nearest_image(x - first, box)[0]
        return np.add.reduceat(x * self._weights, self.starts, axis=0)


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
        if np.abs(fractional).max() > self.max_jump:
            share = np.abs(fractional).max(axis=1)
            worst = int(np.argmax(share))
            raise JumpError(worst, float(share[worst]), self.max_jump)
        self._last = self._last + step
        return self._last
