#!/usr/bin/env bash
# Wall time and peak resident memory of compiling and loading the generated networks
# (`talvero-batch --check`, the median of three runs) and of a 1-s run (`-q -t 1`, one run), for
# one or more builds of talvero-batch side by side, with the load average beside each row.
#
#   bench/load_figures.sh [-n "1000 10000 50000"] [--no-run] BATCH...
#
# The models come from the bench_network of the build this script sits in (BENCH_NETWORK overrides).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sizes="1000 10000 50000"
run=1
while [[ $# -gt 0 ]]; do
    case $1 in
    -n) sizes=$2; shift 2 ;;
    --no-run) run=0; shift ;;
    *) break ;;
    esac
done
[[ $# -gt 0 ]] || { echo "usage: $0 [-n SIZES] [--no-run] BATCH..." >&2; exit 2; }
bench=${BENCH_NETWORK:-$here/../build/bench/bench_network}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

load() { cut -d' ' -f1-3 /proc/loadavg; }
# "<seconds> <kB>" of one run of the command.
measure() { /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || true; cat "$work/time"; }

printf '| N | build | check: wall s (median of 3) | check: peak MB | 1-s run: wall s | 1-s run: peak MB | load average |\n'
printf '|---|---|---|---|---|---|---|\n'
for n in $sizes; do
    "$bench" --write-model="$n" >"$work/m$n.tv"
    for batch in "$@"; do
        before=$(load)
        walls=() peak=0
        for _ in 1 2 3; do
            read -r wall kb < <(measure "$batch" --check "$work/m$n.tv")
            walls+=("$wall")
            peak=$kb
        done
        median=$(printf '%s\n' "${walls[@]}" | sort -g | sed -n 2p)
        runWall=- runPeak=-
        if [[ $run == 1 ]]; then
            read -r runWall kb < <(measure "$batch" -q -t 1 "$work/m$n.tv")
            runPeak=$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')
        fi
        printf '| %s | %s | %s | %s | %s | %s | %s → %s |\n' "$n" "$batch" "$median" \
            "$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')" "$runWall" "$runPeak" "$before" "$(load)"
    done
done
