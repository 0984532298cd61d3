#!/usr/bin/env bash
# Sets up, builds and runs the reflex-arc example without windows; prints a summary and leaves
# one CSV file per observation point in out/reflex_arc/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${TALVERO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target talvero-batch
out=out/reflex_arc
mkdir -p "$out"
"$build/tools/talvero-batch" --time 2 --out "$out" examples/reflex_arc.tv
echo "Reflex arc, 2 s of model time; CSV files in $out/"
for f in "$out"/motorPulses.csv "$out"/spindlePulses.csv; do
  awk -F, -v name="$(basename "$f" .csv)" \
    'NR > 1 { if ($2 != 0 && prev == 0) n++; prev = $2 } END { printf "  %-14s %d pulses\n", name, n }' "$f"
done
awk -F, 'NR > 1 { if (min == "" || $2 < min) min = $2; if (max == "" || $2 > max) max = $2 }
  END { printf "  muscle length  %.4g .. %.4g\n", min, max }' "$out"/muscleLength.csv
