#!/usr/bin/env bash
# Builds the environment tests with ThreadSanitizer and runs those that step models on several
# threads: a data race in the parallel step fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${TALVERO_TSAN_DIR:-build-tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVERO_TSAN=ON -DTALVERO_WITH_TESTS=ON \
  -DTALVERO_WITH_UI=OFF -DTALVERO_WITH_BENCH=OFF -DTALVERO_WITH_PYTHON=OFF >/dev/null
cmake --build "$build" --target test_environment
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# The tests find the examples here, as under ctest.
export TALVERO_SOURCE_DIR=$PWD
"$build/tests/test_environment" --gtest_filter='SplitStepTest.*:Threads/BenchIdentityTest.*' --gtest_brief=1
