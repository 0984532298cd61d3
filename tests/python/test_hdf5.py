"""HDF5 results: what Model(record_to=) streams and what talvero-batch -o FILE.h5 writes read back,
through talvero.read_results and h5py, as the very numbers run() gives."""

import pickle

import numpy as np
import pytest

import talvero
from conftest import batch


def bits(a):
    return np.asarray(a, dtype=np.float64).view(np.uint64)


def assert_bitwise(results, expected):
    assert list(results) == list(expected)  # the model's order of out gates
    for gate, series in expected.items():
        assert results[gate].kind == series.kind, gate
        assert np.array_equal(bits(results[gate].x), bits(series.x)), gate
        assert np.array_equal(bits(results[gate].y), bits(series.y)), gate


def reset_then_run(m):
    m.reset()
    return m.run(steps=1200)


def restore_then_run(m):
    state = m.checkpoint()
    m.run(steps=700)
    m.restore(state)
    return m.run(steps=300)


def clear_then_run(m):
    m["motorPulses.WatchState"] = 0
    m["motorPulses.WatchState"] = 1
    return m.run(steps=400)


# After each way a run can go on, the file holds what the last run() returned, whatever was in it before.
@pytest.mark.parametrize("model, then", [
    ("reflex_arc.tv", lambda m: m.run(steps=1)),
    ("reflex_arc.tv", reset_then_run),
    ("reflex_arc.tv", restore_then_run),
    ("reflex_arc.tv", clear_then_run),
    ("all_classes.tv", lambda m: m.run(steps=4500)),  # a frequency histogram rewrites its tail every run
])
def test_the_recorded_file_holds_what_run_returned(in_examples, tmp_path, model, then):
    path = tmp_path / "run.h5"
    m = talvero.Model(model, record_to=path)
    assert m.record_to == str(path) and not path.exists()  # in place only once there is a run
    m.run(steps=2000)
    assert_bitwise(talvero.read_results(path), m.run(steps=0))
    last = then(m)
    assert_bitwise(talvero.read_results(path), last)
    assert not list(tmp_path.glob("*~*")), "no temporary left beside the file"


def test_batch_h5_reads_back_as_run_and_as_h5py_sees_it(in_examples, tmp_path):
    out = tmp_path / "out.h5"
    batch("-n", 2500, "-o", out, "reflex_arc.tv")
    expected = talvero.Model("reflex_arc.tv").run(steps=2500)
    read = talvero.read_results(out)
    assert_bitwise(read, expected)
    h5py = pytest.importorskip("h5py")
    with h5py.File(out, "r") as f:
        for gate, series in expected.items():
            assert np.array_equal(bits(f["gates"][gate]["x"][:]), bits(series.x)), gate
    assert read["motorPulses"].onsets().size > 0


def test_a_pickled_copy_does_not_write_the_file(in_examples, tmp_path):
    path = tmp_path / "run.h5"
    m = talvero.Model("reflex_arc.tv", record_to=path)
    m.run(steps=500)
    before = path.read_bytes()
    copy = pickle.loads(pickle.dumps(m))
    assert copy.record_to is None
    copy.run(steps=500)
    assert path.read_bytes() == before


@pytest.mark.parametrize("meddle", [
    lambda path: path.unlink(),
    lambda path: talvero.Model("reflex_arc.tv", record_to=path).run(steps=10),  # another writer
])
def test_a_file_taken_away_between_runs_stops_the_recording_with_an_error(in_examples, tmp_path, meddle):
    path = tmp_path / "run.h5"
    m = talvero.Model("reflex_arc.tv", record_to=path)
    m.run(steps=500)
    meddle(path)
    with pytest.raises(OSError, match="replaced or removed since the last run"):
        m.run(steps=500)
    assert m.record_to is None
    assert len(m.run(steps=0)["muscleLength"].x) == 1000  # the results in memory go on whole


def test_bad_files_are_refused_with_the_reason(in_examples, tmp_path):
    (tmp_path / "text.h5").write_text("not hdf5")
    cases = [
        (lambda: talvero.Model("reflex_arc.tv", record_to=tmp_path / "run.csv"), ValueError, "ending in .h5"),
        (lambda: talvero.Model("reflex_arc.tv", record_to=tmp_path / "no" / "run.h5"), OSError, "No such file"),
        (lambda: talvero.Model("reflex_arc.tv", record_to=3), TypeError, "record_to must be"),
        (lambda: talvero.read_results(tmp_path / "missing.h5"), OSError, "No such file"),
        (lambda: talvero.read_results(tmp_path / "text.h5"), OSError, "not an HDF5 file"),
    ]
    h5py = pytest.importorskip("h5py")
    with h5py.File(tmp_path / "foreign.h5", "w") as f:
        f["data"] = np.arange(3.0)
    with h5py.File(tmp_path / "bent.h5", "w") as f:
        f.create_group("gates/a")
    cases += [
        (lambda: talvero.read_results(tmp_path / "foreign.h5"), OSError, "no /gates group"),
        (lambda: talvero.read_results(tmp_path / "bent.h5"), OSError, "gate a is not as written"),
    ]
    for make, error, words in cases:
        with pytest.raises(error, match=words):
            make()
