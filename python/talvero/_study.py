"""Parameter studies: every combination of the given values, one process per run."""

import concurrent.futures
import itertools
import os
import pickle
import subprocess
import sys
from typing import Any, Dict, List, NamedTuple, Optional

from ._types import ModelError, Series


class Run(NamedTuple):
    """One run of a study: its parameter values, its results ({out gate: Series}) or its error."""

    params: Dict[str, float]
    results: Optional[Dict[str, Series]]
    error: Optional[BaseException]


def _package_parent() -> str:
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
                                + (f": {reason[-1]}" if reason else "")))
    results, error = pickle.loads(child.stdout)
    return Run(task["params"], results, error)


class _Progress:
    def __init__(self, total: int, enabled: bool):
        self.total, self.done, self.enabled = total, 0, enabled and total > 0
        self._show()

    def step(self):
        self.done += 1
        self._show()

    def _show(self):
        if not self.enabled:
            return
        filled = self.done * 30 // self.total
        end = "\n" if self.done == self.total else ""
        sys.stderr.write(f"\r[{'#' * filled}{' ' * (30 - filled)}] {self.done}/{self.total} runs{end}")
        sys.stderr.flush()


def _is_dask_client(executor) -> bool:
    return type(executor).__module__.split(".")[0] == "distributed" and hasattr(executor, "gather")


def sweep(model, grid: Dict[str, Any], *, steps: Optional[int] = None, time: Optional[float] = None,
          dt: Optional[float] = None, pulse: Optional[float] = None, watch: Optional[List[str]] = None,
          executor=None, progress: Optional[bool] = None, engine: str = "exact") -> List[Run]:
    """Runs `model` once for every combination of the values in `grid` ({parameter path: values}).

    Returns one Run per combination, in a stable order: the first path's values vary slowest, as
    in itertools.product. Each run loads the model afresh (dt, pulse and engine as for Model), applies its
    values as Model.__setitem__ does and runs `steps` or `time` as Model.run does, in a process of
    its own. `executor`: None runs them on this machine's cores; a concurrent.futures executor or a
    Dask distributed.Client runs them on its workers (every worker needs the module). A failed run
    keeps its error in its Run and the others go on. `progress` (default: when standard error is a
    terminal) shows the runs done.
    """
    if steps is not None and time is not None:
        raise ValueError("give steps or time, not both")
    paths = list(grid)
    columns = [[float(v) for v in grid[p]] for p in paths]
    model_path = os.path.abspath(os.fspath(model))
    tasks = [{"model": model_path, "dt": dt, "pulse": pulse, "engine": engine, "steps": steps, "time": time,
              "watch": None if watch is None else list(watch), "params": dict(zip(paths, values))}
             for values in itertools.product(*columns)]
    bar = _Progress(len(tasks), sys.stderr.isatty() if progress is None else progress)
    runs: List[Optional[Run]] = [None] * len(tasks)

    def finish(index, future):
        try:
            runs[index] = future.result()
        except Exception as error:  # the executor lost the run (a worker died, say)
            runs[index] = Run(tasks[index]["params"], None, error)
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


__all__ = ["Run", "sweep", "run_in_process", "ModelError"]
