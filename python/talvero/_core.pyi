"""Type stubs of the compiled core; the package talvero re-exports Model."""

import os
from typing import Dict, List, Optional, Tuple, Union

from ._types import Series

_Path = Union[str, os.PathLike]

class Model:
    """A model loaded from a description (.tv), a binary model (.btv) or a project (.tvp)."""

    def __init__(self, path: _Path, *, dt: Optional[float] = ..., pulse: Optional[float] = ...,
                 engine: str = ..., threads: int = ..., record_to: Optional[_Path] = ...) -> None: ...
    def tree(self) -> List[Tuple[str, Dict[str, float]]]:
        """Every object's dotted path and parameters, depth first."""
    def __setitem__(self, path: str, value: float) -> None: ...
    def __getitem__(self, path: str) -> float: ...
    def run(self, *, steps: Optional[int] = ..., time: Optional[float] = ...,
            watch: Optional[List[str]] = ...) -> Dict[str, Series]:
        """Runs steps or seconds of model time; every point recorded since the start, per out gate."""
    def reset(self) -> None:
        """Back to the state after loading; the next run starts from there."""
    def checkpoint(self) -> bytes:
        """The whole state as bytes."""
    def restore(self, checkpoint: bytes) -> None:
        """Goes back to a checkpoint() of this model (or one loaded from the same file)."""
    def save_state(self, path: _Path) -> None:
        """Writes checkpoint() to a .tvs file."""
    def load_state(self, path: _Path) -> None:
        """Restores a file written by save_state()."""
    def set_keeping_state(self, path: str, value: float) -> None:
        """Changes a constant of the dynamics; the object keeps the state it reached."""
    @property
    def out_gates(self) -> List[str]: ...
    @property
    def current_time(self) -> float: ...
    @property
    def time_step(self) -> float: ...
    @property
    def path(self) -> str: ...
    @property
    def threads(self) -> int: ...
    @property
    def engine(self) -> str: ...
    @property
    def record_to(self) -> Optional[str]: ...
    def __getstate__(self) -> tuple: ...
    def __setstate__(self, state: tuple) -> None: ...

def read_results(path: _Path) -> List[Tuple[str, str, "object", "object"]]:
    """(name, kind, x, y) of every gate of an HDF5 results file."""
