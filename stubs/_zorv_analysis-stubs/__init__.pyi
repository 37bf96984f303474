"""Native readers, column summaries and the window spread of the zorv_pp analysis layer."""
import os
from typing import Any, Literal, final

@final
class Column:
    """A read-only float64 column; numpy.asarray wraps it without a copy."""

    def __buffer__(self, flags: int, /) -> memoryview: ...
    def __len__(self) -> int: ...

Layout = Literal["transport", "thermo"]

def read_table(path: str | bytes | os.PathLike[str], layout: Layout = ...) -> tuple[dict[str, Column], dict[str, Any]]: ...
def summarize_column(path: str | bytes | os.PathLike[str], column: int = ..., layout: Layout = ...,
                     block_rows: int = ...) -> dict[str, Any]: ...
def window_spread(time: Any, msd: Any, margin: float, min_window: int,
                  max_window: int, max_error: float, min_displacement: float) -> tuple[int, float, float, float]: ...
