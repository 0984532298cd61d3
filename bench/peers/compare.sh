#!/bin/sh
# The generated network of N neurons, 1 s of model time, one thread, whole process: the exact and
# the fast engine through talvero-batch, and Brian2's C++ standalone program for the same network.
# usage: bench/peers/compare.sh [BUILD_DIR] [N...]   (from the repository root; default build, 1000 10000)
set -e
build=${1:-build}
[ $# -gt 0 ] && shift
sizes=${*:-1000 10000}
here=$(dirname "$0")
"$here/install-brian2.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load: $(uptime | sed 's/.*load average: //')"
for n in $sizes; do
    "$build/bench/bench_network" --write-model="$n" > "$work/net$n.tv"
    for engine in exact fast; do
        /usr/bin/time -f "%e %M" -o "$work/time" "$build/tools/talvero-batch" -q -t 1 --threads 1 --engine $engine "$work/net$n.tv" > /dev/null
        read -r wall kb < "$work/time"
        eval "t_$engine=$wall"
        echo "N=$n $engine: ${wall} s, peak ${kb} KiB"
    done
    OMP_NUM_THREADS=1 /usr/bin/python3 "$here/brian2_network.py" "$work/net$n.tv" 1 "$work/brian$n" > "$work/brian"
    sed "s/^/N=$n /" "$work/brian"
    t_brian=$(sed -n 's/^brian2 run s //p' "$work/brian")
    echo "N=$n exact/fast $(echo "$t_exact / $t_fast" | bc -l | cut -c1-5), fast/brian2 run $(echo "$t_fast / $t_brian" | bc -l | cut -c1-5)"
done
echo "load: $(uptime | sed 's/.*load average: //')"
