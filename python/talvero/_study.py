"""Parameter studies: every combination of the given values, one process per run."""

import concurrent.futures
import itertools
import os
import pickle
import math
import numbers
import subprocess
import sys
import warnings
from typing import Any, Dict, List, NamedTuple, Optional

from ._types import ModelError, Series


# A run's status, as talvero-batch --sweep writes it in index.csv.
STATUS_OK, STATUS_MODEL, STATUS_USAGE, STATUS_NON_FINITE = 0, 1, 2, 3


class Run(NamedTuple):
    """One run of a study: its parameter values, its results ({out gate: Series}) or its error.

    status is that of talvero-batch --sweep: 0 done, 1 a model or file error (or a lost
    process), 2 a refused argument, 3 done but a value in the results is not finite (warning says
    which out gate and when it first appeared).
    """

    params: Dict[str, float]
    results: Optional[Dict[str, Series]]
    error: Optional[BaseException]
    status: int = STATUS_OK
    warning: Optional[str] = None


def _status_of(error: Optional[BaseException], warning: Optional[str]) -> int:
    if error is not None:
        return STATUS_USAGE if isinstance(error, (ValueError, TypeError)) else STATUS_MODEL
    return STATUS_NON_FINITE if warning else STATUS_OK


def _package_parent() -> str:
    """The folder that holds the package, for the runs' PYTHONPATH."""
    return os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run_in_process(task: Dict[str, Any]) -> Run:
    """Runs one study task in a fresh interpreter: the kernel computes one model per process, and a
    process of its own keeps any executor (threads included) from sharing one."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in (_package_parent(), env.get("PYTHONPATH")) if p)
    child = subprocess.run([sys.executable, "-m", "talvero._worker"], input=pickle.dumps(task),
                           capture_output=True, env=env, check=False)
    if child.returncode != 0 or not child.stdout:
        reason = child.stderr.decode("utf-8", "replace").strip().splitlines()
        return Run(task["params"], None,
                   RuntimeError(f"the run's process ended with status {child.returncode}"
                                + (f": {reason[-1]}" if reason else "")), STATUS_MODEL)
    results, error, warning = pickle.loads(child.stdout)
    return Run(task["params"], results, error, _status_of(error, warning), warning)


class _Progress:
    """A one-line bar of the runs done, on standard error."""

    def __init__(self, total: int, enabled: bool):
        self.total, self.done, self.enabled = total, 0, enabled and total > 0
        self._show()

    def step(self):
        """One more run done."""
        self.done += 1
        self._show()

    def _show(self):
        """Redraws the bar."""
        if not self.enabled:
            return
        filled = self.done * 30 // self.total
        end = "\n" if self.done == self.total else ""
        sys.stderr.write(f"\r[{'#' * filled}{' ' * (30 - filled)}] {self.done}/{self.total} runs{end}")
        sys.stderr.flush()


def _warm_up(model_path: str, dt, pulse, seconds: float, paths: List[str], columns: List[List[float]]) -> bytes:
    """The checkpoint after `seconds` of the model as loaded; refuses a grid that would undo it."""
    from ._core import Model
    if not (seconds > 0 and seconds != float("inf")):
        raise ValueError("warmup must be a number of seconds > 0")
    model = Model(model_path, dt=dt, pulse=pulse)
    model.run(time=seconds, watch=[])
    state = model.checkpoint()
    for path, values in zip(paths, columns):
        for value in values:
            model.set_keeping_state(path, value)
        model.restore(state)
    return state


def _is_dask_client(executor) -> bool:
    """Whether `executor` is a Dask distributed.Client (known without importing Dask)."""
    return type(executor).__module__.split(".")[0] == "distributed" and hasattr(executor, "gather")


def sweep(model, grid: Dict[str, Any], *, steps: Optional[int] = None, time: Optional[float] = None,
          dt: Optional[float] = None, pulse: Optional[float] = None, watch: Optional[List[str]] = None,
          executor=None, progress: Optional[bool] = None, warmup: Optional[float] = None,
          engine: str = "exact") -> List[Run]:
    """Runs `model` once for every combination of the values in `grid` ({parameter path: values}).

    Returns one Run per combination, in a stable order: the first path's values vary slowest, as
    in itertools.product. Each run loads the model afresh (dt, pulse and engine as for Model), applies its
    values as Model.__setitem__ does and runs `steps` or `time` as Model.run does, in a process of
    its own. `executor`: None runs them on this machine's cores; a concurrent.futures executor or a
    Dask distributed.Client runs them on its workers (every worker needs the module). A failed run
    keeps its error in its Run and the others go on. `progress` (default: when standard error is a
    terminal) shows the runs done.

    `warmup` (seconds): the settling phase all runs share is computed once, here, with the model's
    own parameter values, and every run goes on from its checkpoint: it sets its values with
    Model.set_keeping_state and runs `steps` or `time` more; its results begin with the warm-up's
    points. Only constants of the dynamics may vary (a synapse's K, Ri, Rs, an ion unit's R, C,
    MaxIntensity, ...); a parameter that shapes the state (a generator's Frequency, a fibre's
    TimeDelay, a synapse's DissociationTC, switching times) raises ValueError before any run starts.
    """
    paths, columns, model_path = _check_study(model, grid, steps, time, dt, pulse, watch)
    checkpoint = None
    if warmup is not None:
        checkpoint = _warm_up(model_path, dt, pulse, float(warmup), paths, columns)
    tasks = [{"model": model_path, "dt": dt, "pulse": pulse, "engine": engine, "steps": steps, "time": time,
              "watch": None if watch is None else list(watch), "params": dict(zip(paths, values)),
              "checkpoint": checkpoint}
             for values in itertools.product(*columns)]
    bar = _Progress(len(tasks), sys.stderr.isatty() if progress is None else progress)
    runs: List[Optional[Run]] = [None] * len(tasks)

    def finish(index, future):
        try:
            runs[index] = future.result()
        except Exception as error:  # the executor lost the run (a worker died, say)
            runs[index] = Run(tasks[index]["params"], None, error, STATUS_MODEL)
        if runs[index].status == STATUS_NON_FINITE:
            warnings.warn(f"run {runs[index].params}: {runs[index].warning}", RuntimeWarning, stacklevel=3)
        bar.step()

    if _is_dask_client(executor):
        import distributed
        futures = {executor.submit(run_in_process, task, pure=False): i for i, task in enumerate(tasks)}
        for future in distributed.as_completed(list(futures)):
            finish(futures[future], future)
        return runs

    own = executor is None
    if own:
        executor = concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1)
    try:
        futures = {executor.submit(run_in_process, task): i for i, task in enumerate(tasks)}
        for future in concurrent.futures.as_completed(futures):
            finish(futures[future], future)
    finally:
        if own:
            executor.shutdown()
    return runs


def _check_study(model, grid, steps, time, dt, pulse, watch):
    """Refuses a study that no run of could succeed before any process starts: the options, the
    grid's shape and values, and (by loading the model once here) its paths and out gates."""
    if not isinstance(model, (str, bytes, os.PathLike)):
        raise TypeError(f"model must be a path, not {type(model).__name__}")
    if not isinstance(grid, dict) or not grid:
        raise TypeError("grid must be a non-empty dict {parameter path: values}")
    if steps is not None and time is not None:
        raise ValueError("give steps or time, not both")
    if steps is not None and (isinstance(steps, bool) or not isinstance(steps, numbers.Integral)):
        raise TypeError(f"steps must be a whole number, not {type(steps).__name__}")
    for name, value, low_ok in (("time", time, True), ("dt", dt, False), ("pulse", pulse, False)):
        if value is None:
            continue
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            raise TypeError(f"{name} must be a number, not {type(value).__name__}")
        if not math.isfinite(value) or value < 0 or (value == 0 and not low_ok):
            raise ValueError(f"{name} must be a finite number {'>= 0' if low_ok else '> 0'}, not {value}")
    if isinstance(watch, (str, bytes)):
        raise TypeError("watch is a list of out gate names, not a single str (write [name])")
    paths = list(grid)
    columns = []
    for path in paths:
        if not isinstance(path, str):
            raise TypeError(f"a grid key is a parameter path (str), not {type(path).__name__}")
        values = grid[path]
        if isinstance(values, (str, bytes)) or not hasattr(values, "__iter__"):
            raise TypeError(f"grid['{path}'] must be a list of numbers, not {type(values).__name__}")
        values = list(values)
        if not values:
            raise ValueError(f"grid['{path}'] has no values")
        for v in values:
            if isinstance(v, bool) or not isinstance(v, numbers.Real):
                raise TypeError(f"grid['{path}'] holds {v!r}, not a number")
        columns.append([float(v) for v in values])
    model_path = os.path.abspath(os.fspath(model))
    from ._core import Model
    loaded = Model(model_path, dt=dt, pulse=pulse)
    for path in paths:
        loaded[path]  # an unknown object or parameter raises ModelError naming it
    if watch is not None:
        missing = [name for name in watch if name not in loaded.out_gates]
        if missing:
            raise ValueError(f"watch names no out gate of the model: {', '.join(missing)}")
    if steps is not None and steps < 0:
        raise ValueError("steps must be >= 0")
    return paths, columns, model_path


__all__ = ["Run", "sweep", "run_in_process", "ModelError", "STATUS_OK", "STATUS_MODEL", "STATUS_USAGE",
           "STATUS_NON_FINITE"]
