import pickle

import numpy as np
import pytest

import talvero
from conftest import assert_same_results, batch, parse_points

K = "arc.motor.inh.drive.K"


def same(a, b):
    assert sorted(a) == sorted(b)
    for gate in a:
        assert np.array_equal(a[gate].x, b[gate].x), gate
        assert np.array_equal(a[gate].y, b[gate].y), gate


@pytest.mark.parametrize("model", ["all_classes.tv", "reflex_arc.tv", "eye_muscle.tv"])
def test_reset_reruns_exactly_and_checkpoint_goes_on_as_the_unbroken_run(in_examples, model):
    fresh = talvero.Model(model).run(time=1.0)
    m = talvero.Model(model)
    m.run(time=0.37)
    m.reset()
    same(m.run(time=1.0), fresh)

    m = talvero.Model(model)
    m.run(time=0.4)
    state = m.checkpoint()
    unbroken = m.run(time=0.6)
    m.restore(state)
    same(m.run(time=0.6), unbroken)
    # Pickled: another model object, as a worker would get it.
    other = pickle.loads(pickle.dumps(m))
    other.restore(state)
    same(other.run(time=0.6), unbroken)


def test_state_files_and_refusals(in_examples, tmp_path):
    m = talvero.Model("reflex_arc.tv")
    m.run(time=0.2)
    m.save_state(tmp_path / "a.tvs")
    after = m.run(time=0.1)
    m.load_state(tmp_path / "a.tvs")
    assert m.current_time == pytest.approx(0.2)
    same(m.run(time=0.1), after)

    foreign = talvero.Model("eye_muscle.tv")
    with pytest.raises(talvero.ModelError) as refused:
        foreign.load_state(tmp_path / "a.tvs")
    assert refused.value.code == 602
    before = foreign.checkpoint()
    for damaged in (b"", b"junk", before[:-3], before[:40]):
        with pytest.raises(talvero.ModelError):
            foreign.restore(damaged)
    assert foreign.checkpoint()[64:] == before[64:]


def test_an_unstarted_model_pickles_and_starts_from_its_parameters(in_examples):
    m = talvero.Model("reflex_arc.tv")
    m[K] = 0.8
    copy = pickle.loads(pickle.dumps(m))
    assert copy[K] == 0.8
    same(copy.run(time=0.3), m.run(time=0.3))


def manual_warm_runs(model, warmup, time, grid):
    """Each run computes the warm-up itself, then sets its value as a warm run does (keeping state)."""
    runs = []
    for value in grid[K]:
        m = talvero.Model(model)
        m.run(time=warmup)
        m.set_keeping_state(K, value)
        runs.append(m.run(time=time))
    return runs


def test_warm_sweeps_equal_computing_the_warm_up_in_each_run(in_examples, tmp_path):
    grid = {K: [0.4, 0.9]}
    expected = manual_warm_runs("reflex_arc.tv", 0.3, 0.2, grid)
    runs = talvero.sweep("reflex_arc.tv", grid, warmup=0.3, time=0.2, progress=False)
    for run, want in zip(runs, expected):
        assert run.error is None, run.error
        same(run.results, want)

    (tmp_path / "grid.csv").write_text(f"{K}\n0.4\n0.9\n")
    batch("--sweep", tmp_path / "grid.csv", "-o", tmp_path / "out", "--warmup", "0.3", "-t", "0.2", "reflex_arc.tv")
    for i, want in enumerate(expected, start=1):
        for gate in want:
            points = parse_points("gate,x,y\n" + "".join(
                f"{gate},{line}\n" for line in (tmp_path / "out" / f"{i:04d}" / f"{gate}.csv").read_text().splitlines()[1:]))
            assert np.array_equal(points[gate][0], want[gate].x), gate
            assert np.array_equal(points[gate][1], want[gate].y), gate

    with pytest.raises(ValueError, match="cannot vary after a warm-up"):
        talvero.sweep("reflex_arc.tv", {"drive.Frequency": [20, 30]}, warmup=0.1, time=0.1, progress=False)
