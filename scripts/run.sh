#!/usr/bin/env bash
# Sets up, builds and starts Talvero with a copy of the reflex-arc example project open (the
# copy lives in out/ and keeps what the user saved there; the repository's project is never
# touched). Without a display it says
# so and runs the reflex-arc example headless instead: a summary, and one CSV file per
# observation point in out/reflex_arc/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${TALVERO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (\$DISPLAY and \$WAYLAND_DISPLAY are unset): running the reflex arc without windows."
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
  exit 0
fi

cmake --build "$build" --target talvero
project=out/reflex_arc_project
if [ -e "$project/reflex_arc.tvp" ]; then
  echo "Starting Talvero with $project/reflex_arc.tvp, as you left it"
  echo "(to start afresh from examples/reflex_arc/: rm -rf $project, then run this again)"
else
  mkdir -p out
  rm -rf "$project"
  cp -r examples/reflex_arc "$project"
  echo "Starting Talvero with $project/reflex_arc.tvp (a copy of examples/reflex_arc/)"
fi
exec "$build/ui/talvero" "$project/reflex_arc.tvp"
