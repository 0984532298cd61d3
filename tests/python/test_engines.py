import warnings

import numpy as np
import pytest

import talvero
from conftest import assert_same_results, batch, parse_points

# Two neurons that drive each other, a generator that drives them, and watches on all three.
NET = """Model m {
Net net {
Neuron a { IonUnit exc { Synapse s1 { } Synapse back { } } IonUnit inh { parameter MaxIntensity = -0.5; Synapse s { } } }
Neuron b { IonUnit exc { Synapse s { } } }
link a:b.exc.s;
link b:a.exc.back;
}
Generator g { parameter Frequency = 40; }
Generator h { parameter Frequency = 15; parameter StartTime = 0.1; }
TimeWatch wa { }
TimeWatch wb { }
link g:net.a.exc.s1;
link h:net.a.inh.s;
link net.a:wa.input;
link net.b:wb.input;
}
"""


@pytest.fixture
def net(tmp_path):
    path = tmp_path / "net.tv"
    path.write_text(NET)
    return path


def test_fast_runs_agree_with_exact_across_settings_and_continued_runs(net):
    results = {}
    for engine in ("exact", "fast"):
        m = talvero.Model(net, engine=engine)
        assert m.engine == engine
        first = m.run(steps=3000)
        m["net.a.exc.s1.K"] = 0.3
        second = m.run(steps=4000)
        m.reset()
        third = m.run(time=0.2)
        results[engine] = (first, second, third)
    for exact, fast in zip(*results.values()):
        assert_same_results(fast, {g: (s.x, s.y) for g, s in exact.items()})
    assert len(results["fast"][1]["wa"].x) > 10


def test_fast_model_gives_what_the_batch_runner_gives(net):
    expected = parse_points(batch("--engine", "fast", "-n", "5000", "--set", "g.Frequency=55", net).stdout)
    m = talvero.Model(net, engine="fast")
    m["g.Frequency"] = 55
    assert_same_results(m.run(steps=5000), expected)


# A synapse constant whose reciprocal overflows a double: the fast engine has no faithful form.
BEYOND = """Model m {
Net net { Neuron a { IonUnit u { Synapse tiny { parameter K = 1e-310; } } } }
Generator g { parameter Frequency = 30; }
TimeWatch w { }
link g:net.a.u.tiny;
link net.a:w.input;
}
"""


def test_model_without_a_fast_form_warns_and_runs_exact(tmp_path, in_examples):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert talvero.Model("all_classes.tv", engine="fast").engine == "fast"
    beyond = tmp_path / "beyond.tv"
    beyond.write_text(BEYOND)
    with pytest.warns(RuntimeWarning, match=r"net\.a\.u\.tiny .*the exact engine computes this model"):
        m = talvero.Model(beyond, engine="fast")
    assert m.engine == "exact"
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        exact = talvero.Model(beyond).run(steps=2000)
    assert_same_results(m.run(steps=2000), {g: (s.x, s.y) for g, s in exact.items()})
    with pytest.raises(ValueError, match="engine must be 'exact' or 'fast'"):
        talvero.Model("all_classes.tv", engine="quick")


def test_sweep_with_either_engine_gives_the_same_runs(net):
    runs = {e: talvero.sweep(net, {"g.Frequency": [30, 70]}, steps=2000, engine=e, progress=False)
            for e in ("exact", "fast")}
    for exact, fast in zip(runs["exact"], runs["fast"]):
        assert exact.error is None and fast.error is None
        assert exact.params == fast.params
        for gate, series in exact.results.items():
            np.testing.assert_array_equal(series.x, fast.results[gate].x)
            np.testing.assert_array_equal(series.y, fast.results[gate].y)
