"""The species a run's tables name and their molecule counts."""

from __future__ import annotations

from collections.abc import Callable, Mapping
from pathlib import Path

from ..errors import RunError
from .tables import TABLE_FILES, Table, first_file

GroupChoice = str | tuple[str, int]
"""A species' log group: its name, or (name, atoms per molecule) for a group of whole molecules."""

SELF_PREFIX = "MSD__"
RDF_PREFIX = "rdf__"
FINITE_RDF_PREFIX = "finiterdf__"


def split_pair(label: str, species: set[str]) -> tuple[str, str]:
    """The two species of a pair label such as ``K_OH``.

    Names may hold underscores themselves, so the split chosen is the one whose
    halves are both known species; with no known species, the only underscore.
    """
    cuts = [i for i, char in enumerate(label) if char == "_"]
    known = [(label[:i], label[i + 1 :]) for i in cuts if label[:i] in species and label[i + 1 :] in species]
    if len(known) == 1:
        return known[0]
    if not known and len(cuts) == 1:
        return label[: cuts[0]], label[cuts[0] + 1 :]
    raise ValueError(f"cannot tell the two species of the pair {label!r}")


def named_species(
    folder: Path, tables: Mapping[str, Table], files: Mapping[str, str], known: set[str]
) -> tuple[list[str], list[str]]:
    """The species the diffusion tables name, and those only the RDF names, in first-seen order."""
    names: list[str] = []
    diffusion = 0
    for column in tables.get("diffself", {}):
        if column.startswith(SELF_PREFIX):
            names.append(column[len(SELF_PREFIX) :])
    known = known | set(names)
    for kind, prefixes in (("diffonsag", (SELF_PREFIX,)), ("rdf", (RDF_PREFIX, FINITE_RDF_PREFIX))):
        for column in tables.get(kind, {}):
            for prefix in prefixes:
                if column.startswith(prefix):
                    try:
                        pair = split_pair(column[len(prefix) :], known)
                    except ValueError as error:
                        raise RunError(folder, files[kind], str(error)) from None
                    names.extend(pair)
        if kind == "diffonsag":
            diffusion = len(names)
    required = list(dict.fromkeys(names[:diffusion]))
    return required, [name for name in dict.fromkeys(names[diffusion:]) if name not in required]


def header_species(folder: Path, known: set[str]) -> list[str]:
    """The species that a run's diffusion and RDF tables name, read from their headers alone.

    Raises :class:`RunError` for a pair label that cannot be split and OSError for a file that
    cannot be read.
    """
    tables: dict[str, Table] = {}
    files: dict[str, str] = {}
    for kind in ("diffself", "diffonsag", "rdf"):
        file = first_file(folder, TABLE_FILES[kind])
        if file is None:
            continue
        lines = file.read_bytes().decode("utf-8", "replace").splitlines()
        # The readers' header: the last line starting with "#Time", else the first line.
        header = next(
            (line for line in reversed(lines) if line.lstrip().startswith("#Time")), lines[0] if lines else ""
        )
        tables[kind], files[kind] = {name: [] for name in header.replace("#", "").split()}, file.name
    required, rdf_only = named_species(folder, tables, files, known)
    return [*required, *rdf_only]


def check_count(folder: Path, source: str | None, name: str, count: object) -> None:
    """RunError unless ``count``, the molecule count of species ``name`` (from ``source``), is a positive int."""
    if isinstance(count, bool) or not isinstance(count, int) or count <= 0:
        raise RunError(
            folder, source, f"species {name!r} has a molecule count of {count!r}; it must be a positive integer"
        )


def quoted(names: list[str]) -> str:
    """Species names as a message lists them."""
    return ", ".join(repr(name) for name in names)


def count_species(
    folder: Path,
    species: list[str],
    counts: Mapping[str, int] | None,
    count_rest: Callable[[list[str]], dict[str, int]],
) -> dict[str, int]:
    """The molecule count of every one of ``species``: from ``counts``, else as the run's source counts them.

    A count given for some species adds to what the source counts for the
    others (``count_rest``, which raises :class:`RunError` naming every species
    it cannot count, in its message and its ``missing_species``).
    """
    given = dict(counts or {})
    found = {name: given[name] for name in species if name in given}
    for name, count in found.items():
        check_count(folder, None, name, count)
    rest = [name for name in species if name not in given]
    if rest:
        found.update(count_rest(rest))
    return found
