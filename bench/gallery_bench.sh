#!/usr/bin/env bash
# How much faster a gallery is than making its maps one after another: 16
# seeds with `vxltool gallery --jobs 2` (maps, thumbnails, previews and the
# page) against 16 `vormap` runs in a row with its default settings, in turn
# for a few rounds. Prints each round and the median ratio of the wall times
# (target: at most 0.6 on two free cores), and the ratio of the processor
# times: on a machine busy with other work the wall ratio says little, while
# half the processor-time ratio is what two free cores would give.
# It also checks that both made the same maps.
#
#   bench/gallery_bench.sh [BUILD_DIR] [ROUNDS]    (default build/release, 3)
set -euo pipefail
build=${1:-build/release}
rounds=${2:-3}
vormap=$build/app/vormap
vxltool=$build/tools/vxltool
for program in "$vormap" "$vxltool"; do
  [ -x "$program" ] || { echo "gallery_bench.sh: no $program; build first" >&2; exit 1; }
done
seeds=16
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

one_after_another() {
  for seed in $(seq "$seeds"); do "$vormap" -s "$seed" -o "$work/one/$seed.vxl" >/dev/null; done
}
as_gallery() { "$vxltool" gallery --jobs 2 "1-$seeds" "$work/gallery" >/dev/null 2>&1; }

# Wall, user and system seconds of a shell function, its children included.
measure() {
  local TIMEFORMAT='%R %U %S'
  { time "$1"; } 2>&1
}

median() { sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }'; }

wall_ratios=()
cpu_ratios=()
for round in $(seq "$rounds"); do
  rm -rf "$work/one" "$work/gallery"
  mkdir "$work/one"
  read -r one_wall one_user one_sys < <(measure one_after_another)
  read -r gallery_wall gallery_user gallery_sys < <(measure as_gallery)
  for seed in $(seq "$seeds"); do
    cmp -s "$work/one/$seed.vxl" "$work/gallery/$seed.vxl" || { echo "seed $seed: the maps differ" >&2; exit 1; }
  done
  wall=$(awk -v a="$gallery_wall" -v b="$one_wall" 'BEGIN { printf "%.3f", a / b }')
  cpu=$(awk -v a="$gallery_user" -v b="$gallery_sys" -v c="$one_user" -v d="$one_sys" \
    'BEGIN { printf "%.3f", (a + b) / (c + d) }')
  echo "round $round: one after another ${one_wall} s (cpu $(awk -v a="$one_user" -v b="$one_sys" 'BEGIN { print a + b }') s)," \
       "gallery --jobs 2 ${gallery_wall} s (cpu $(awk -v a="$gallery_user" -v b="$gallery_sys" 'BEGIN { print a + b }') s)," \
       "wall ratio $wall, cpu ratio $cpu"
  wall_ratios+=("$wall")
  cpu_ratios+=("$cpu")
done
wall=$(printf '%s\n' "${wall_ratios[@]}" | median)
cpu=$(printf '%s\n' "${cpu_ratios[@]}" | median)
echo "gallery --jobs 2 / one after another: wall $wall (target <= 0.6), cpu $cpu;" \
     "on two free cores about $(awk -v c="$cpu" 'BEGIN { printf "%.2f", c / 2 }') (medians of $rounds rounds)"
