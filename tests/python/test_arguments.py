"""Wrong arguments are refused in one line; parameter paths behave as a mapping's keys; a study is
checked before any of its processes starts and flags a diverging run as talvero-batch does."""

import warnings

import pytest

import talvero
from conftest import EXAMPLES

EYE_DIVERGING = ("Model eye {\nNet orbit { EyeMuscle rectus { parameter T1 = 0.0001; } }\n"
                 "Generator burst { parameter Frequency = 50; }\nATimeWatch length { }\n"
                 "link burst:orbit.rectus.input;\nlink orbit.rectus.length:length.input;\n}\n")


@pytest.mark.parametrize("call, kind, words", [
    (lambda m: m.__setitem__("drive.Frequency", "20"), TypeError, "number, not str"),
    (lambda m: m.__setitem__("drive.Frequency", None), TypeError, "NoneType"),
    (lambda m: m.__setitem__("drive.Frequency", True), TypeError, "not bool"),
    (lambda m: m.__setitem__(5, 1.0), TypeError, "path is a str"),
    (lambda m: m.run(steps=1.5), TypeError, "whole number, not float"),
    (lambda m: m.run(steps="10"), TypeError, "whole number, not str"),
    (lambda m: m.run(steps=10**20), ValueError, "at most"),
    (lambda m: m.run(time="1"), TypeError, "number, not str"),
    (lambda m: m.run(steps=10, watch="motorPulses"), TypeError, "[name]"),
    (lambda m: m.run(steps=10, watch=[1]), TypeError, "name is a str"),
    (lambda m: talvero.Model(3), TypeError, "path"),
    (lambda m: talvero.Model("reflex_arc.tv", dt="0.1"), TypeError, "dt must be a number"),
    (lambda m: talvero.Model("reflex_arc.tv", pulse=[1]), TypeError, "pulse must be a number"),
])
def test_argument_errors_are_one_line(in_examples, call, kind, words):
    m = talvero.Model("reflex_arc.tv")
    with pytest.raises(kind) as raised:
        call(m)
    text = str(raised.value)
    assert words in text and "\n" not in text and "incompatible" not in text and "Invoked with" not in text


def test_numbers_of_any_numeric_type_are_taken(in_examples):
    import numpy as np
    m = talvero.Model("reflex_arc.tv")
    m["drive.Frequency"] = np.float32(25)
    m["drive.Frequency"] = 30  # an int
    assert m["drive.Frequency"] == 30
    assert len(m.run(steps=np.int64(10), watch=("motorPulses",))) == 1


def test_parameter_paths_are_the_models_keys(in_examples):
    m = talvero.Model("reflex_arc.tv")
    keys = m.keys()
    assert list(m) == keys and len(m) == len(keys)
    assert keys == [f"{path}.{name}" for path, parameters in m.tree() for name in parameters]
    assert "drive.Frequency" in keys and "arc.motor.inh.drive.K" in keys
    for path in ("drive.Frequency", "arc.motor.inh.drive.K"):
        assert path in m
    for path in ("drive.Nope", "nobody.K", "Frequency", "", "drive.", 5):
        assert path not in m
    assert m["drive.Frequency"] == 20  # asking changed nothing


def test_model_error_text_holds_where(tmp_path):
    path = tmp_path / "bad.tv"
    path.write_text("Model m {\nNet n { paramter Frequency = 50; }\n}\n")
    with pytest.raises(talvero.ModelError) as raised:
        talvero.Model(str(path))
    assert f"{path}:2:" in str(raised.value)


@pytest.mark.parametrize("grid, options, kind", [
    ({"drive.Nope": [1, 2]}, {}, talvero.ModelError),
    ({"nobody.K": [1]}, {}, talvero.ModelError),
    ({"drive.Frequency": ["ten"]}, {}, TypeError),
    ({"drive.Frequency": 10}, {}, TypeError),
    ({"drive.Frequency": []}, {}, ValueError),
    ({}, {}, TypeError),
    ({"drive.Frequency": [10]}, {"steps": 1.5}, TypeError),
    ({"drive.Frequency": [10]}, {"steps": 10, "time": 1.0}, ValueError),
    ({"drive.Frequency": [10]}, {"dt": -1}, ValueError),
    ({"drive.Frequency": [10]}, {"watch": "motorPulses"}, TypeError),
    ({"drive.Frequency": [10]}, {"watch": ["nowhere"]}, ValueError),
])
def test_a_study_is_checked_before_any_process_starts(monkeypatch, grid, options, kind):
    import talvero._study as study

    def no_process(task):
        raise AssertionError("a process was started")

    monkeypatch.setattr(study, "run_in_process", no_process)
    with pytest.raises(kind):
        talvero.sweep(EXAMPLES / "reflex_arc.tv", grid, progress=False, **{"steps": 10, **options})


def test_a_diverging_run_has_the_batch_runners_status_and_warns(tmp_path):
    path = tmp_path / "eye.tv"
    path.write_text(EYE_DIVERGING)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        runs = talvero.sweep(path, {"burst.Frequency": [0, 50]}, steps=2000, progress=False)
    quiet, diverged = runs
    assert (quiet.status, quiet.warning, quiet.error) == (talvero.STATUS_OK, None, None)
    assert diverged.status == talvero.STATUS_NON_FINITE and diverged.error is None
    assert "not finite" in diverged.warning and diverged.results is not None
    assert [str(w.message) for w in caught if issubclass(w.category, RuntimeWarning)] == \
        [f"run {{'burst.Frequency': 50.0}}: {diverged.warning}"]
