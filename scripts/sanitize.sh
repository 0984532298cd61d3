#!/usr/bin/env bash
# Builds the non-UI suites with AddressSanitizer and UndefinedBehaviorSanitizer and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${TALVERO_ASAN_DIR:-build-asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALVERO_SANITIZE=ON -DTALVERO_WITH_TESTS=ON -DTALVERO_WITH_UI=OFF \
  -DTALVERO_WITH_BENCH=OFF >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2 -LE ui
