import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

EXAMPLES = Path(os.environ.get("TALVERO_EXAMPLES", Path(__file__).resolve().parents[2] / "examples"))
BATCH = os.environ.get("TALVERO_BATCH", "talvero-batch")


def batch(*args, cwd=EXAMPLES, check=True):
    """talvero-batch's standard output."""
    done = subprocess.run([BATCH, "-q", *map(str, args)], cwd=cwd, capture_output=True, text=True, timeout=120)
    if check:
        assert done.returncode == 0, done.stderr
    return done


def parse_points(text):
    """gate,x,y lines into {gate: (x array, y array)}; the shortest round-trip digits read back exactly."""
    points = {}
    for line in text.splitlines()[1:]:
        gate, x, y = line.rsplit(",", 2)
        xs, ys = points.setdefault(gate, ([], []))
        xs.append(float(x))
        ys.append(float(y))
    return {gate: (np.array(xs), np.array(ys)) for gate, (xs, ys) in points.items()}


def assert_same_results(results, expected):
    assert sorted(results) == sorted(expected)
    for gate, (x, y) in expected.items():
        assert results[gate].x.dtype == np.float64
        assert np.array_equal(results[gate].x, x), gate
        assert np.array_equal(results[gate].y, y), gate


@pytest.fixture
def in_examples(monkeypatch):
    # Include lines are read from the current directory.
    monkeypatch.chdir(EXAMPLES)
    return EXAMPLES


def pytest_configure(config):
    # Dask's event loop library warns about its own start-up; nothing of ours.
    config.addinivalue_line("filterwarnings", "ignore:make_current is deprecated:DeprecationWarning")
