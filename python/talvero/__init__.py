"""Talvero models from Python.

    import talvero
    m = talvero.Model("examples/reflex_arc.tv")
    m["arc.motor.inh.drive.K"] = 0.7
    res = m.run(time=1.0)
    res["motorPulses"].x, res["motorPulses"].y

    state = m.checkpoint()      # the whole state; m.restore(state) goes back to it

Model(..., record_to="run.h5") streams every point to an HDF5 file as the runs go;
talvero.read_results("run.h5") reads it (or a talvero-batch -o FILE.h5 output) back as Series.

talvero.sweep runs a parameter study, one process per run, on any executor; warmup= computes a
shared settling phase once and starts every run from its checkpoint.
"""

from ._version import __version__
from ._types import ModelError, Series
from ._core import Model
from ._core import read_results as _read_results
from ._study import STATUS_MODEL, STATUS_NON_FINITE, STATUS_OK, STATUS_USAGE, Run, sweep

__all__ = ["Model", "ModelError", "Series", "Run", "sweep", "read_results", "STATUS_OK", "STATUS_MODEL", "STATUS_USAGE",
           "STATUS_NON_FINITE", "__version__"]


def read_results(path) -> "dict[str, Series]":
    """{out gate name: Series} of an HDF5 results file, in the order the gates were written.

    Reads what Model(..., record_to=path) or talvero-batch -o FILE.h5 wrote: the same numbers, bit
    for bit, as run() returned. A missing or foreign file raises OSError.
    """
    return {name: Series(x, y, kind) for name, kind, x, y in _read_results(path)}
