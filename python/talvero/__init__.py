"""Talvero models from Python.

    import talvero
    m = talvero.Model("examples/reflex_arc.tv")
    m["arc.motor.inh.drive.K"] = 0.7
    res = m.run(time=1.0)
    res["motorPulses"].x, res["motorPulses"].y

    state = m.checkpoint()      # the whole state; m.restore(state) goes back to it

talvero.sweep runs a parameter study, one process per run, on any executor; warmup= computes a
shared settling phase once and starts every run from its checkpoint.
"""

from ._version import __version__
from ._types import ModelError, Series
from ._core import Model
from ._study import STATUS_MODEL, STATUS_NON_FINITE, STATUS_OK, STATUS_USAGE, Run, sweep

__all__ = ["Model", "ModelError", "Series", "Run", "sweep", "STATUS_OK", "STATUS_MODEL", "STATUS_USAGE",
           "STATUS_NON_FINITE", "__version__"]
