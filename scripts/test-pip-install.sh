#!/usr/bin/env bash
# Installs the package talvero with pip into a fresh virtual environment (Debian's python3, its
# packages visible) and imports it there: what a user's `pip install .` does.
set -euo pipefail
cd "$(dirname "$0")/.."
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --no-build-isolation --no-deps --no-index -q .
examples=$PWD/examples
cd "$work"
TALVERO_EXAMPLES=$examples "$work/venv/bin/python" - <<'PY'
import os, sys
import talvero
assert talvero.__file__.startswith(sys.prefix), talvero.__file__
assert os.path.exists(os.path.join(os.path.dirname(talvero.__file__), "_core.pyi"))
m = talvero.Model(os.path.join(os.environ["TALVERO_EXAMPLES"], "reflex_arc.tv"))
state = m.checkpoint()
first = m.run(steps=500)
m.restore(state)
again = m.run(steps=500)
assert all((first[g].y == again[g].y).all() for g in first)
print("talvero", talvero.__version__, "installed and imported from", os.path.dirname(talvero.__file__))
PY
