#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${TALVERO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVERO_WITH_TESTS=ON >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2
