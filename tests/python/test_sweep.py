import concurrent.futures
import csv

import numpy as np
import pytest

import talvero
from conftest import EXAMPLES, assert_same_results, batch

GRID = {"arc.motor.inh.drive.K": [0.3, 0.7], "drive.Frequency": [10, 20, 9999]}  # 9999 Hz is refused
OPTIONS = dict(time=0.3, watch=["motorPulses", "muscleLength"])


def check_study(runs):
    assert [r.params for r in runs] == [{"arc.motor.inh.drive.K": k, "drive.Frequency": f}
                                        for k in (0.3, 0.7) for f in (10, 20, 9999)]
    for run in runs:
        if run.params["drive.Frequency"] == 9999:
            assert run.results is None and isinstance(run.error, talvero.ModelError) and run.error.code == 21
        else:
            assert run.error is None and sorted(run.results) == ["motorPulses", "muscleLength"]
    return runs


def assert_same_studies(runs, reference):
    for run, ref in zip(runs, reference, strict=True):
        assert run.params == ref.params and (run.error is None) == (ref.error is None)
        if run.results is not None:
            assert_same_results(run.results, {g: (s.x, s.y) for g, s in ref.results.items()})


@pytest.fixture(scope="module")
def reference():
    return check_study(talvero.sweep(EXAMPLES / "reflex_arc.tv", GRID, executor=None, progress=False, **OPTIONS))


def test_local_sweep_equals_batch_sweep(reference, tmp_path):
    table = tmp_path / "study.csv"
    rows = [r.params for r in reference]
    table.write_text("arc.motor.inh.drive.K,drive.Frequency\n" +
                     "".join(f"{p['arc.motor.inh.drive.K']},{p['drive.Frequency']}\n" for p in rows))
    done = batch("-t", "0.3", "--watch", "motorPulses", "--watch", "muscleLength", "--sweep", table,
                 "-o", tmp_path / "out", "-j", "2", "reflex_arc.tv", check=False)
    assert done.returncode == 1 and "run 0003" in done.stderr  # the refused row fails alone
    with open(tmp_path / "out" / "index.csv") as index:
        entries = list(csv.DictReader(index))
    assert [e["status"] for e in entries] == ["0", "0", "1", "0", "0", "1"]
    for entry, run in zip(entries, reference, strict=True):
        assert float(entry["drive.Frequency"]) == run.params["drive.Frequency"]
        if run.error is None:
            for gate, series in run.results.items():
                x, y = np.loadtxt(tmp_path / "out" / entry["run"] / f"{gate}.csv", delimiter=",", skiprows=1,
                                  ndmin=2).T
                assert np.array_equal(x, series.x) and np.array_equal(y, series.y)


def test_process_pool_sweep_equals_local(reference):
    with concurrent.futures.ProcessPoolExecutor(2) as pool:
        runs = talvero.sweep(EXAMPLES / "reflex_arc.tv", GRID, executor=pool, progress=False, **OPTIONS)
    assert_same_studies(check_study(runs), reference)


def test_dask_sweep_equals_local(reference):
    import distributed
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None, worker_dashboard_address=None) as cluster, \
            distributed.Client(cluster, timeout=60) as client:
        runs = talvero.sweep(EXAMPLES / "reflex_arc.tv", GRID, executor=client, progress=False, **OPTIONS)
    assert_same_studies(check_study(runs), reference)
