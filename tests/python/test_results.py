"""Results kept across runs: chunked runs equal one run, handed-out arrays never change, and the
Series helpers (onsets, rate, to_pandas) read the points right."""

import pickle

import numpy as np
import pytest

import talvero
from conftest import EXAMPLES


def bits(a):
    return np.asarray(a, dtype=np.float64).view(np.uint64)


def assert_bitwise(results, whole):
    assert sorted(results) == sorted(whole)
    for gate, series in whole.items():
        assert results[gate].kind == series.kind, gate
        assert np.array_equal(bits(results[gate].x), bits(series.x)), gate
        assert np.array_equal(bits(results[gate].y), bits(series.y)), gate


@pytest.mark.parametrize("model, chunks", [
    ("reflex_arc.tv", [1] * 50 + [7, 3, 0, 4096, 1, 2000, 5]),
    ("reflex_arc.tv", [10] * 700),
    ("eye_muscle.tv", [333, 1, 1, 1665]),
    ("all_classes.tv", [999, 1, 2000, 2000]),
    ("user_classes.tv", [2500, 2500]),
])
def test_chunked_runs_equal_one_run(in_examples, model, chunks):
    whole = talvero.Model(model).run(steps=sum(chunks))
    m = talvero.Model(model)
    kept = []
    for steps in chunks:
        kept.append(m.run(steps=steps))  # earlier results stay alive while later runs add points
    assert_bitwise(kept[-1], whole)
    # A result handed out earlier is what one run of that length gives, however the buffers grew.
    done = sum(chunks[:len(chunks) // 2])
    assert_bitwise(kept[len(chunks) // 2 - 1], talvero.Model(model).run(steps=done))


def test_handed_out_arrays_are_read_only_and_survive_reset_and_restart(in_examples):
    m = talvero.Model("reflex_arc.tv")
    first = m.run(steps=3000)
    snapshot = {g: (s.x.copy(), s.y.copy()) for g, s in first.items()}
    with pytest.raises(ValueError):
        first["muscleLength"].y[0] = 1.0
    m.run(steps=3000)
    m.reset()
    again = m.run(steps=3000)
    for gate, (x, y) in snapshot.items():
        assert np.array_equal(bits(first[gate].x), bits(x)) and np.array_equal(bits(first[gate].y), bits(y)), gate
    assert_bitwise(again, first)


@pytest.mark.parametrize("gate, settings, steps", [
    ("motorPulses", [("motorPulses.WatchState", 0), ("motorPulses.WatchState", 1)], 100),
    ("muscleLength", [("muscleLength.FirstOutIndex", 0)], 100),  # a new channel clears the watch
    ("muscleLength", [("muscleLength.FirstOutIndex", 0)], 5000),  # ... and records past the old length
])
def test_a_cleared_gate_starts_its_record_afresh(in_examples, gate, settings, steps):
    m = talvero.Model("reflex_arc.tv")
    m.run(steps=3000)
    for path, value in settings:
        m[path] = value
    after = m.run(steps=steps)[gate]
    assert after.x[0] == pytest.approx(0.3) and after.x[-1] == pytest.approx(0.3 + steps * 1e-4, abs=1.5e-4)


PULSES = np.array([0.0, 0.0, 1.0, 1.0, 0.0, 0.0, 1.0, 0.0, 1.0, 1.0])
TIMES = np.arange(len(PULSES)) * 0.1


@pytest.mark.parametrize("y, onsets, rate", [
    (PULSES, [0.2, 0.6, 0.8], 3 / 0.9),
    (np.r_[1.0, PULSES[1:]], [0.0, 0.2, 0.6, 0.8], 4 / 0.9),  # a pulse on at the first point starts there
    (np.zeros(10), [], 0.0),
    (np.ones(10), [0.0], 1 / 0.9),
])
def test_onsets_and_rate_of_a_known_pulse_train(y, onsets, rate):
    s = talvero.Series(TIMES, y)
    assert np.allclose(s.onsets(), onsets) and len(s.onsets()) == len(onsets)
    assert s.rate() == pytest.approx(rate)


def test_rate_without_a_span_and_histograms_refuse_pulse_questions():
    assert np.isnan(talvero.Series(np.array([0.5]), np.array([1.0])).rate())
    assert np.isnan(talvero.Series(np.array([]), np.array([])).rate())
    h = talvero.Series(np.array([0.0, 5.0]), np.array([0.25, 0.75]), "histogram")
    for call in (h.onsets, h.rate):
        with pytest.raises(TypeError):
            call()
    with pytest.raises(ValueError):
        talvero.Series(h.x, h.y, "hist")


def test_model_onsets_follow_the_generator_and_histogram_is_fractions(in_examples):
    m = talvero.Model("reflex_arc.tv")
    m["drive.Frequency"] = 20
    res = m.run(time=2.0)
    pulses = res["motorPulses"]
    assert pulses.kind == "time" and res["spindleRate"].kind == "histogram"
    onsets = pulses.onsets()
    assert len(onsets) > 10 and np.all(np.diff(onsets) > 0)
    assert np.all(pulses.y[np.searchsorted(pulses.x, onsets)] > 0)
    assert pulses.rate() == pytest.approx(len(onsets) / (pulses.x[-1] - pulses.x[0]))
    hist = res["spindleRate"]
    assert np.allclose(np.diff(hist.x), 5.0) and hist.x[0] == 0.0
    assert hist.y.sum() == pytest.approx(1.0)


def test_series_unpacks_pickles_and_goes_to_pandas(in_examples):
    s = talvero.Model("reflex_arc.tv").run(steps=2000, watch=["spindleRate"])["spindleRate"]
    x, y = s
    back = pickle.loads(pickle.dumps(s))
    assert back.kind == "histogram" and np.array_equal(back.x, x) and np.array_equal(back.y, y)
    pandas = pytest.importorskip("pandas")
    frame = s.to_pandas("spindleRate")
    assert isinstance(frame, pandas.Series) and frame.index.name == "frequency, Hz"
    assert np.array_equal(frame.index.to_numpy(), x) and np.array_equal(frame.to_numpy(), y)
