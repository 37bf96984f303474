"""diffself.dat and diffonsag.dat of a trajectory in one pass: its molecule centres fed frame by frame, the
box volume and kinetic temperature averaged on the way."""

from __future__ import annotations

import os
from collections.abc import Iterable, Iterator, Mapping
from dataclasses import dataclass

from ..run.sampling import Sampling
from .accumulate import PositionOrderN
from .errors import SourceError
from .fluxes import rounded
from .run_files import BlockAverages
from .trajectory import Frame, Opened, frames, molecules_of, species_atoms


@dataclass(frozen=True)
class TrajectorySums:
    """What a pass over a trajectory gave: the accumulated centres, the counts and sampling of its tables,
    and the volume and temperature (None without velocities) of the frames used."""

    positions: PositionOrderN
    counts: Mapping[str, int]
    sampling: Sampling
    frames_used: int
    frames_read: int
    volume: BlockAverages
    temperature: BlockAverages | None

    def sampling_of_tables(self) -> dict[str, Sampling]:
        return {"diffself": self.sampling, "diffonsag": self.sampling}


def _progress(items: Iterator[Frame], total: int, shown: bool) -> Iterable[Frame]:
    if not shown:
        return items
    from tqdm import tqdm

    return tqdm(items, total=total, unit="frame", desc="order-n", mininterval=0.5)  # type: ignore[no-any-return]


def accumulate_trajectory(
    opened: Opened,
    species: Mapping[str, str] | None,
    nb: int,
    nbe: int,
    every: int,
    max_jump: float,
    progress: bool = False,
) -> TrajectorySums:
    """One pass over ``opened``: every ``every``-th frame's centres fed to a :class:`PositionOrderN`."""
    molecules, which, counts = molecules_of(opened, species_atoms(opened, species))
    read = len(opened.universe.trajectory)
    used = -(-read // every)
    volume, temperature = BlockAverages.of(used), BlockAverages.of(used)
    positions: PositionOrderN | None = None
    first: Frame | None = None
    last = None
    for frame in _progress(frames(opened, molecules, every, max_jump), used, progress):
        if first is None:
            first = frame
        elif positions is None:
            positions = PositionOrderN(
                list(counts), which, nb, nbe, rounded(frame.time - first.time, opened.time_digits)
            )
            positions.add(first.centres)
        if positions is not None:
            positions.add(frame.centres)
        volume.add(frame.time, frame.volume)
        if frame.temperature is not None:
            temperature.add(frame.time, frame.temperature)
        last = frame
    if positions is None or last is None:
        raise SourceError(f"the trajectory gives {used} frame(s) at every {every}: order-n needs at least two")
    interval = positions.interval
    return TrajectorySums(
        positions,
        counts,
        Sampling(interval, nbe, (positions.frames - 1) * interval, nb),
        positions.frames,
        last.index + 1,
        volume.finish(),
        temperature.finish() if temperature.frames else None,
    )


def describe(opened: Opened, trajectory: str | os.PathLike[str], topology: str | os.PathLike[str] | None) -> str:
    """The files read, for the log's source line."""
    files = os.fspath(trajectory) + (f" with {os.fspath(topology)}" if topology is not None else "")
    return f"{opened.engine} trajectory {files} ({opened.coordinates} coordinates; masses: {opened.masses_source})"
