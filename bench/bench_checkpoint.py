#!/usr/bin/python3
"""Checkpoint size and write/restore time of a generated net, and the wall time of a 16-run study
with and without a shared warm-up.

    build/bench/bench_network --write-model=1000 > bench1000.tv
    build/bench/bench_network --write-model=10000 > bench10000.tv
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_checkpoint.py bench1000.tv [bench10000.tv ...]

For every model: the checkpoint after 0.1 s of model time (size, write time, restore time, the
best of three). For the first model also: 16 runs over the drive synapse's K of c0 (a parameter
that may vary after a warm-up), 1 s of warm-up then 0.25 s each, once computing the warm-up in
every run and once with warmup=1; both give the same numbers, which the script checks.
"""

import os
import sys
import tempfile
import time

import numpy as np

import talvero

WARMUP, RUN = 1.0, 0.25
GRID = {"net.c0.exc.sg.K": [0.1 + 0.05 * i for i in range(16)]}


def best_of(n, f):
    times = []
    for _ in range(n):
        start = time.perf_counter()
        f()
        times.append(time.perf_counter() - start)
    return min(times)


def checkpoint_figures(model):
    m = talvero.Model(model)
    m.run(time=0.1, watch=[])
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "state.tvs")
        write = best_of(3, lambda: m.save_state(path))
        size = os.path.getsize(path)
        restore = best_of(3, lambda: m.load_state(path))
    print(f"{model}: checkpoint {size / 1e6:.2f} MB, write {write:.3f} s, restore {restore:.3f} s", flush=True)


def cold_run(model, params):
    """One run that computes the warm-up itself, then changes its values: what a warm run must equal."""
    m = talvero.Model(model)
    m.run(time=WARMUP, watch=[])
    for path, value in params.items():
        m.set_keeping_state(path, value)
    return m.run(time=RUN)


def study(model):
    start = time.perf_counter()
    cold = talvero.sweep(model, GRID, time=WARMUP + RUN, executor=None, progress=False)
    cold_wall = time.perf_counter() - start
    start = time.perf_counter()
    warm = talvero.sweep(model, GRID, time=RUN, warmup=WARMUP, executor=None, progress=False)
    warm_wall = time.perf_counter() - start
    assert all(r.error is None for r in cold + warm)
    reference = cold_run(model, warm[5].params)
    for gate, series in reference.items():
        assert np.array_equal(series.x, warm[5].results[gate].x) and np.array_equal(series.y, warm[5].results[gate].y)
    print(f"16 runs of {WARMUP + RUN} s from zero: {cold_wall:.1f} s; with warmup={WARMUP}: {warm_wall:.1f} s "
          f"({os.cpu_count()} cores, load {os.getloadavg()[0]:.1f})", flush=True)


if __name__ == "__main__":
    for path in sys.argv[1:]:
        checkpoint_figures(path)
    if len(sys.argv) > 1:
        study(sys.argv[1])
