#!/usr/bin/env bash
# How much faster a gallery is than doing its work one seed after another:
# 16 seeds with `vxltool gallery --jobs 2` (maps, thumbnails, previews and 3D
# pages) against the same maps, previews and pages made by hand with single
# commands in a row (target: at most 0.6), and against the 16 `vormap` runs
# alone. Rounds alternate the three; it prints each round and the median
# ratios of the wall times, and checks that the gallery made the same maps.
#
#   bench/gallery_bench.sh [BUILD_DIR] [ROUNDS]    (default build/release, 3)
set -euo pipefail
build=${1:-build/release}
rounds=${2:-3}
vormap=$build/bin/vormap
vxltool=$build/bin/vxltool
for program in "$vormap" "$vxltool"; do
  [ -x "$program" ] || { echo "gallery_bench.sh: no $program; build first" >&2; exit 1; }
done
seeds=16
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

one_after_another() {
  for seed in $(seq "$seeds"); do "$vormap" -s "$seed" -o "$work/one/$seed.vxl" >/dev/null; done
}
# The same maps, large previews and 3D pages as the gallery makes, by hand:
# single commands, one seed after another.
by_hand() {
  for seed in $(seq "$seeds"); do
    "$vormap" -s "$seed" -o "$work/hand/$seed.vxl" >/dev/null
    "$vxltool" preview "$work/hand/$seed.vxl" "$work/hand/$seed.png"
    "$vxltool" view "$work/hand/$seed.vxl" "$work/hand/$seed.html" >/dev/null
  done
}
as_gallery() { "$vxltool" gallery --jobs 2 "1-$seeds" "$work/gallery" >/dev/null 2>&1; }
# Wall, user and system seconds of a shell function, its children included.
measure() {
  local TIMEFORMAT='%R %U %S'
  { time "$1"; } 2>&1
}

median() { sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
maps_ratios=()
hand_ratios=()
for round in $(seq "$rounds"); do
  rm -rf "$work/one" "$work/hand" "$work/gallery"
  mkdir "$work/one" "$work/hand"
  read -r one_wall _ < <(measure one_after_another)
  read -r hand_wall _ < <(measure by_hand)
  read -r gallery_wall _ < <(measure as_gallery)
  for seed in $(seq "$seeds"); do
    cmp -s "$work/one/$seed.vxl" "$work/gallery/$seed.vxl" || { echo "seed $seed: the maps differ" >&2; exit 1; }
  done
  maps=$(ratio "$gallery_wall" "$one_wall")
  hand=$(ratio "$gallery_wall" "$hand_wall")
  echo "round $round: gallery --jobs 2 ${gallery_wall} s; vormap alone one after another ${one_wall} s" \
       "(ratio $maps); vormap, preview and view one after another ${hand_wall} s (ratio $hand)"
  maps_ratios+=("$maps")
  hand_ratios+=("$hand")
done
echo "gallery --jobs 2 / the same work one seed after another: $(printf '%s\n' "${hand_ratios[@]}" | median)" \
     "(target <= 0.6); / the maps alone: $(printf '%s\n' "${maps_ratios[@]}" | median) (medians of $rounds rounds)"
