#!/usr/bin/python3
"""Wall time of many short Model.run() calls against one long run of the same length.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python_chunks.py [MODEL [CHUNKS [STEPS]]]

Defaults: examples/reflex_arc.tv, 20000 runs of 10 steps against one run of 200000. Each short run's
result is kept until the next one is asked for, as `res = m.run(...)` in a loop does. Prints both
times, their ratio and the load average, and checks that both give the same points.
"""

import os
import sys
import time
from pathlib import Path

import numpy as np

import talvero


def main():
    model = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[1] / "examples/reflex_arc.tv")
    chunks = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    steps = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    os.chdir(model.parent)  # include lines are read from the current directory

    m = talvero.Model(model.name)
    start = time.perf_counter()
    whole = m.run(steps=chunks * steps)
    one = time.perf_counter() - start

    m = talvero.Model(model.name)
    res = None
    start = time.perf_counter()
    for _ in range(chunks):
        res = m.run(steps=steps)
    chunked = time.perf_counter() - start

    for gate, series in whole.items():
        assert np.array_equal(series.x, res[gate].x) and np.array_equal(series.y, res[gate].y), gate
    points = sum(len(s.x) for s in whole.values())
    print(f"model {model.name}, {points} points in all")
    print(f"one run of {chunks * steps} steps: {one:.3f} s")
    print(f"{chunks} runs of {steps} steps: {chunked:.3f} s")
    print(f"ratio chunked/one: {chunked / one:.2f}")
    print("load average: " + " ".join(f"{x:.2f}" for x in os.getloadavg()))


if __name__ == "__main__":
    main()
