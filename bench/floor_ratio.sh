#!/usr/bin/env bash
# How far a whole run of vormap is from the machine's floor: the least work a
# program building the world grids and writing a map of the same size must
# do (bench/floor.cpp, the release build's bench/floor). Runs vormap and the
# floor alternately, RUNS times each with a different seed per pair, and
# prints each pair's ratio (vormap's wall time / the floor's) and their
# median. The ratio, not either time, is the figure: alternating the two
# keeps it meaningful on a busy machine.
#
#   bench/floor_ratio.sh [PATH_TO_VORMAP]      default build/release/bin/vormap
#   RUNS=9 FLOOR=build/release/bench/floor VORMAP_THREADS=1 bench/floor_ratio.sh
#
# VORMAP_THREADS passes through to vormap (unset: every core).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
vormap=${1:-$root/build/release/bin/vormap}
floor=${FLOOR:-$root/build/release/bench/floor}
runs=${RUNS:-9}

if [[ ! -x $vormap ]]; then
  echo "floor_ratio: no vormap at '$vormap' (build it: cmake --build --preset release)" >&2
  exit 1
fi
if [[ ! -x $floor ]]; then
  echo "floor_ratio: no floor program at '$floor' (build it: cmake --build --preset release --target floor)" >&2
  exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Microseconds of wall time of one command, its output thrown away.
wall_us() {
  local start=${EPOCHREALTIME/./}
  "$@" >/dev/null
  local end=${EPOCHREALTIME/./}
  echo $((end - start))
}

# One unmeasured pair first: page cache, binaries and the file system warm.
"$vormap" -s 7 -o "$scratch/map.vxl" >/dev/null
"$floor" "$scratch/floor.out" "$(stat -c %s "$scratch/map.vxl")"

ratios=()
printf '%5s %12s %12s %12s %8s\n' run seed vormap_ms floor_ms ratio
for ((i = 1; i <= runs; i++)); do
  seed=$((i * 7919 - 40000))
  a=$(wall_us "$vormap" -s "$seed" -o "$scratch/map.vxl")
  bytes=$(stat -c %s "$scratch/map.vxl")
  b=$(wall_us "$floor" "$scratch/floor.out" "$bytes")
  ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", a / b }')
  ratios+=("$ratio")
  printf '%5d %12d %12.1f %12.1f %8s\n' "$i" "$seed" "$(awk -v t="$a" 'BEGIN{print t/1000}')" \
    "$(awk -v t="$b" 'BEGIN{print t/1000}')" "$ratio"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
echo "median ratio (whole run / floor) over $runs runs: $median"
