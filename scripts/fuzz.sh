#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz/fuzz_*.cpp) with clang and runs each for a bounded time on a
# copy of its seed corpus fuzz/corpus/<name>/, so the repository stays clean. Any crash, leak,
# timeout, out-of-memory or sanitizer report fails the script; the offending inputs are kept in
# <build>/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

build=$(realpath -m "${TALVERO_FUZZ_DIR:-build-fuzz}")
seconds=${TALVERO_FUZZ_SECONDS:-60}

targets=()
for source in fuzz/fuzz_*.cpp; do
  [ -e "$source" ] || continue
  targets+=("$(basename "$source" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "No fuzz targets."
  exit 0
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTALVERO_FUZZ=ON -DTALVERO_WITH_UI=OFF \
  -DTALVERO_WITH_TESTS=OFF -DTALVERO_WITH_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  corpus="$work/$name"
  mkdir -p "$corpus"
  if [ -d "fuzz/corpus/$name" ]; then
    cp -R "fuzz/corpus/$name/." "$corpus/"
  fi
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts/$target-")
  if [ -f "fuzz/$name.dict" ]; then
    options+=(-dict="$PWD/fuzz/$name.dict")
  fi
  echo "== $target: $seconds s =="
  if ! "$build/fuzz/$target" "${options[@]}" "$corpus" 2>"$work/$target.log"; then
    tail -n 60 "$work/$target.log" >&2
    failed+=("$target")
  else
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$target.log" || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found problems in: ${failed[*]} (inputs in $artifacts)" >&2
  exit 1
fi
echo "Fuzzing passed: ${targets[*]}"
