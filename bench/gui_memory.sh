#!/usr/bin/env bash
# Drives the desktop program on the example project as a user would, under a virtual X server:
# computes as fast as possible for 60 s of wall time (F5), samples resident memory every 5 s,
# stops (Shift+F5), saves (Ctrl+S), quits (Ctrl+Q), then reopens the project and times until the
# program answers a key again (F1 opens a window once the project and its charts are loaded).
# Prints one line per figure; quote `uptime` beside them. With RECORD=1 the project also streams
# every point to its results file (PROJECT.h5), whose size is printed.
# Usage: [RECORD=1] bench/gui_memory.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
seconds=${2:-60}
work=$(mktemp -d)
trap 'kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r examples/reflex_arc "$work/prj"
if [ "${RECORD:-0}" = 1 ]; then
  sed -i 's/^\[Computation\]/[Computation]\nRecordResults=1/' "$work/prj/reflex_arc.tvp"
fi
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1

rss() { awk '/VmRSS/ {printf "%.0f", $2 / 1024}' "/proc/$1/status"; }
now() { date +%s.%N; }
# Waits until the program's main window exists and answers: a round trip through its event loop.
wait_window() {
  local pid=$1 win=""
  for _ in $(seq 600); do
    win=$(xdotool search --pid "$pid" --onlyvisible --name "Talvero" 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.05
  done
  echo "$win"
}

"$build/ui/talvero" "$work/prj/reflex_arc.tvp" >>"${TALVERO_BENCH_LOG:-/dev/null}" 2>&1 &
pid=$!
win=$(wait_window $pid)
xdotool windowactivate --sync "$win" 2>/dev/null || true
sleep 1
xdotool key --window "$win" F5
for ((t = 5; t <= seconds; t += 5)); do
  sleep 5
  echo "rss_at_${t}s_mb $(rss $pid)"
done
xdotool key --window "$win" shift+F5
sleep 0.5
stamp="$work/stamp"
touch "$stamp"
start=$(now)
xdotool key --window "$win" ctrl+s
# Saved when every series data file is newer than the key press and the program answers again.
for _ in $(seq 1200); do
  fresh=$(find "$work/prj" -name 'watchinfo.*.dat' -newer "$stamp" | wc -l)
  [ "$fresh" -ge 1 ] && xdotool getwindowname "$win" >/dev/null 2>&1 && break
  sleep 0.05
done
echo "save_s $(echo "$(now) - $start" | bc)"
start=$(now)
# The window may go before the key is released.
xdotool key --window "$win" ctrl+q 2>/dev/null || true
while kill -0 $pid 2>/dev/null; do sleep 0.05; done
echo "quit_s $(echo "$(now) - $start" | bc)"
echo "project_folder_mb $(du -sm "$work/prj" | cut -f1)"
[ -f "$work/prj/reflex_arc.h5" ] && echo "results_file_mb $(du -sm "$work/prj/reflex_arc.h5" | cut -f1)"

start=$(now)
"$build/ui/talvero" "$work/prj/reflex_arc.tvp" >>"${TALVERO_BENCH_LOG:-/dev/null}" 2>&1 &
pid=$!
win=$(wait_window $pid)
# The window is there before the project is read; the help window F1 opens shows that the
# program has read it and answers.
xdotool key --window "$win" F1 >/dev/null 2>&1 || true
for _ in $(seq 2400); do
  xdotool search --pid "$pid" --onlyvisible --name "Язык описания" >/dev/null 2>&1 && break
  sleep 0.05
done
echo "reopen_s $(echo "$(now) - $start" | bc)"
echo "rss_after_reopen_mb $(rss $pid)"
kill $pid
wait $pid 2>/dev/null || true
