#!/usr/bin/env bash
# Pictures of the windows as a user sees them, under a virtual X server: starts Talvero with a
# fresh copy of the example project and saves PNG files of the main window (without a project,
# with it, running and paused), the objects list, every wizard page and the dialogs into
# out/screenshots/ (or the folder given), then ends.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${TALVERO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target talvero
shots=$(realpath -m "${1:-out/screenshots}")
project=out/screenshots_project
rm -rf "$project" "$shots"
mkdir -p "$shots" out
cp -r examples/reflex_arc "$project"
TALVERO_SCREENSHOTS="$shots" TALVERO_SCREENSHOT_SOURCE="$PWD/examples/reflex_arc.tv" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/ui/talvero" "$project/reflex_arc.tvp" 2>&1 |
  grep -v "^QStandardPaths:" || true
echo "Screenshots in $shots:"
ls "$shots"
