#!/usr/bin/python3
"""Wall time of a 16-run parameter study on one and on two Dask workers (single-thread processes
on this machine), and of the same study with talvero-batch --sweep -j 1 and -j 2.

    build/bench/bench_network --write-model=1000 > bench1000.tv
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_sweep.py bench1000.tv [SECONDS [TALVERO_BATCH]]

SECONDS of model time per run, default 1.
"""

import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

import talvero

GRID = {"drive.Frequency": [5.0 * i for i in range(1, 17)]}
SECONDS = 1.0


def dask_study(model, workers):
    import distributed
    with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        client.submit(sum, [1], pure=False).result()  # workers up before the clock starts
        start = time.perf_counter()
        runs = talvero.sweep(model, GRID, time=SECONDS, executor=client, progress=False)
        return time.perf_counter() - start, runs


def batch_study(batch, model, jobs):
    with tempfile.TemporaryDirectory() as out:
        table = Path(out) / "study.csv"
        table.write_text("drive.Frequency\n" + "".join(f"{v}\n" for v in GRID["drive.Frequency"]))
        start = time.perf_counter()
        subprocess.run([batch, "-q", "-t", str(SECONDS), "--sweep", str(table), "-o", str(Path(out) / "runs"),
                        "-j", str(jobs), model], check=True)
        return time.perf_counter() - start


def main():
    global SECONDS
    model = sys.argv[1]
    if len(sys.argv) > 2:
        SECONDS = float(sys.argv[2])
    reference = None
    for workers in (1, 2):
        seconds, runs = dask_study(model, workers)
        assert all(r.error is None for r in runs), [r.error for r in runs if r.error]
        if reference is None:
            reference = runs
        else:
            for a, b in zip(runs, reference):
                assert all(np.array_equal(a.results[g].y, b.results[g].y) for g in b.results)
        print(f"dask, {workers} worker(s): {seconds:.1f} s for {len(runs)} runs of {SECONDS} s", flush=True)
    if len(sys.argv) > 3:
        for jobs in (1, 2):
            print(f"talvero-batch --sweep -j {jobs}: {batch_study(sys.argv[3], model, jobs):.1f} s")


if __name__ == "__main__":
    main()
