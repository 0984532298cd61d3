import threading

import numpy as np
import pytest

import talvero
from conftest import EXAMPLES, assert_same_results, batch, parse_points

K = "arc.motor.inh.drive.K"


@pytest.mark.parametrize("model, options, sets", [
    ("reflex_arc.tv", {}, {}),
    ("reflex_arc.tv", {"time": 0.7, "dt": 0.0002, "pulse": 0.002}, {K: 0.8, "drive.Frequency": 35}),
    ("reflex_arc/reflex_arc.tvp", {"steps": 3000}, {}),
    ("eye_muscle.tv", {"time": 1.0}, {}),
    ("all_classes.tv", {"steps": 5000}, {}),
    ("user_classes.tv", {"steps": 5000}, {}),
])
def test_results_equal_batch(in_examples, model, options, sets):
    args = []
    for key, flag in (("steps", "-n"), ("time", "-t"), ("dt", "--dt"), ("pulse", "--pulse")):
        if key in options:
            args += [flag, repr(options[key])]
    for path, value in sets.items():
        args += ["--set", f"{path}={value!r}"]
    expected = parse_points(batch(*args, model).stdout)

    m = talvero.Model(model, dt=options.get("dt"), pulse=options.get("pulse"))
    for path, value in sets.items():
        m[path] = value
    assert_same_results(m.run(steps=options.get("steps"), time=options.get("time")), expected)


def test_tree_and_setitem_agree_with_batch(in_examples):
    m = talvero.Model("reflex_arc.tv")
    m[K] = 0.7
    m["drive.StopTime"] = 0.25
    assert m[K] == 0.7
    lines = batch("--set", f"{K}=0.7", "--set", "drive.StopTime=0.25", "--tree", "reflex_arc.tv").stdout.splitlines()
    expected = []
    for line in lines:
        path, *pairs = line.split(" ")
        expected.append((path, {name: float(value) for name, value in (p.split("=") for p in pairs)}))
    assert m.tree() == expected


def _write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
    return str(path)


@pytest.mark.parametrize("action, code, info", [
    (lambda m, tmp: m.__setitem__("arc.nobody.K", 1), 3, "nobody"),
    (lambda m, tmp: m.__setitem__("arc.motor.inh.drive.Nothing", 1), 20, "Nothing"),
    (lambda m, tmp: m.__setitem__("drive.Frequency", 9999), 21, "reflex.drive"),
    (lambda m, tmp: m.__getitem__("drive.Nothing"), 20, None),
    (lambda m, tmp: m.run(steps=10, watch=["nowhere"]), None, None),
    (lambda m, tmp: talvero.Model(str(tmp / "missing.tv")), 111, "missing.tv"),
    (lambda m, tmp: talvero.Model(_write(tmp, "bad.tv", "Model m { }\n}\n")), 202, None),
    (lambda m, tmp: talvero.Model(str(tmp / "missing.tvp")), None, "missing.tvp"),
    (lambda m, tmp: talvero.Model(_write(tmp, "p.tvp", "[System]\nModelFileName=x.btv\n[Computation]\nTimeStep=0.001 junk\n")),
     None, "[Computation] TimeStep=0.001 junk is not a time step"),
])
def test_errors_raise_model_error(in_examples, tmp_path, action, code, info):
    m = talvero.Model("reflex_arc.tv")
    with pytest.raises(talvero.ModelError) as raised:
        action(m, tmp_path)
    error = raised.value
    if code is not None:
        assert error.code == code
        assert any("\u0400" <= c <= "\u04ff" for c in error.message)  # the Russian message, decoded
    assert info is None or info in error.info or info in error.message
    assert m["drive.Frequency"] == 20  # a refused value keeps the old one


@pytest.mark.parametrize("call", [
    lambda m: m.__setitem__("K", 1),
    lambda m: m.run(steps=10, time=1.0),
    lambda m: m.run(steps=-1),
    lambda m: talvero.Model("model.txt"),
    lambda m: talvero.Model("reflex_arc.tv", threads=-1),
    lambda m: talvero.Model("reflex_arc.tv", threads=257),
])
def test_malformed_arguments_raise_value_error(in_examples, call):
    with pytest.raises(ValueError):
        call(talvero.Model("reflex_arc.tv"))


def test_runs_continue_and_models_alternate(in_examples):
    whole = talvero.Model("reflex_arc.tv").run(steps=8000)

    a = talvero.Model("reflex_arc.tv")
    other = talvero.Model("eye_muscle.tv", dt=0.0005, pulse=0.002)
    a.run(steps=3000)
    other.run(steps=1000)  # another model active in between, with another clock
    a.run(steps=2000)
    other.run(steps=1000)
    assert_same_results(a.run(steps=3000), {g: (s.x, s.y) for g, s in whole.items()})
    assert a.current_time == pytest.approx(0.8)

    a.reset()
    assert_same_results(a.run(steps=8000), {g: (s.x, s.y) for g, s in whole.items()})


def test_threads_running_models_at_once_get_their_own_results(in_examples):
    expected = {}
    for k in (0.3, 0.7):
        m = talvero.Model("reflex_arc.tv")
        m[K] = k
        expected[k] = m.run(steps=6000, watch=["motorPulses"])["motorPulses"]
    got = {}

    def work(k):
        m = talvero.Model("reflex_arc.tv")
        m[K] = k
        for _ in range(3):
            m.run(steps=2000, watch=["motorPulses"])
        got[k] = m.run(steps=0, watch=["motorPulses"])["motorPulses"]

    threads = [threading.Thread(target=work, args=(k,)) for k in expected]
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    for k, series in expected.items():
        assert np.array_equal(got[k].x, series.x) and np.array_equal(got[k].y, series.y)
    assert not np.array_equal(expected[0.3].x, expected[0.7].x)


def test_diverging_model_warns_where_and_keeps_its_data(tmp_path):
    path = _write(tmp_path, "eye.tv",
                  "Model eye {\nNet orbit { EyeMuscle rectus { parameter T1 = 0.0001; } }\n"
                  "Generator burst { parameter Frequency = 50; }\nATimeWatch length { }\n"
                  "link burst:orbit.rectus.input;\nlink orbit.rectus.length:length.input;\n}\n")
    with pytest.warns(RuntimeWarning, match="length .* not finite at model time 0.081 s"):
        res = talvero.Model(path).run(steps=2000)
    assert len(res["length"].x) > 0 and not np.isfinite(res["length"].y).all()
    with pytest.raises(ValueError):
        talvero.Model(path).run(time=1e15)


def test_model_error_says_where(tmp_path):
    with pytest.raises(talvero.ModelError) as raised:
        talvero.Model(_write(tmp_path, "bad.tv", "Model m {\nNet n { paramter Frequency = 50; }\n}\n"))
    assert raised.value.location.startswith(str(tmp_path / "bad.tv") + ":2:")
    assert "paramter" in raised.value.location


def chain_net(neurons):
    """Pacemakers and followers, each follower excited by the one before it in the net."""
    cells = ["Pacemaker p0 { IonUnit drive { parameter MaxIntensity = 0.8; } }"]
    links = []
    for i in range(1, neurons):
        cells.append(f"Neuron c{i} {{ IonUnit exc {{ }} IonUnit inh {{ parameter MaxIntensity = -1; "
                     + " ".join(f"Synapse s{j} {{ }}" for j in range(20)) + " } }")
        for j in range(20):
            links.append(f"link {'p0' if i == 1 else f'c{i - 1}'}:c{i}.inh.s{j};")
    return ("class Pacemaker : Neuron { }\nModel m {\nNet n {\n" + "\n".join(cells + links)
            + "\n}\nTimeWatch first { }\nTimeWatch last { }\nlink n.c1:first.input;\n"
            + "link n.c%d:last.input;\n}\n" % (neurons - 1))


def test_threads_give_the_same_numbers(tmp_path):
    path = tmp_path / "chain.tv"
    path.write_text(chain_net(1500))
    one = talvero.Model(path, threads=1)
    assert one.threads == 1
    expected = {g: (s.x, s.y) for g, s in one.run(steps=400).items()}
    assert len(expected["first"][0]) > 0
    assert_same_results(talvero.Model(path, threads=2).run(steps=400), expected)
