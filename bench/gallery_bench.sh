#!/usr/bin/env bash
# How much faster a gallery is than making its maps one after another: 16
# seeds with `vxltool gallery --jobs 2` (maps, thumbnails, previews and the
# page) against 16 `vormap` runs in a row with its default settings, in turn
# for a few rounds; prints each round and the median ratio (target: at most
# 0.6 on two free cores). It also checks that both made the same maps.
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

now() { date +%s.%N; }
ratios=()
for round in $(seq "$rounds"); do
  rm -rf "$work/one" "$work/gallery"
  mkdir "$work/one"
  start=$(now)
  for seed in $(seq "$seeds"); do "$vormap" -s "$seed" -o "$work/one/$seed.vxl" >/dev/null; done
  middle=$(now)
  "$vxltool" gallery --jobs 2 "1-$seeds" "$work/gallery" >/dev/null 2>&1
  end=$(now)
  for seed in $(seq "$seeds"); do
    cmp -s "$work/one/$seed.vxl" "$work/gallery/$seed.vxl" || { echo "seed $seed: the maps differ" >&2; exit 1; }
  done
  ratio=$(echo "$start $middle $end" | awk '{ printf "%.3f", ($3 - $2) / ($2 - $1) }')
  echo "round $round: $seeds runs one after another $(echo "$start $middle" | awk '{ printf "%.2f", $2 - $1 }') s," \
       "gallery --jobs 2 $(echo "$middle $end" | awk '{ printf "%.2f", $2 - $1 }') s, ratio $ratio"
  ratios+=("$ratio")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }')
echo "gallery --jobs 2 / one after another: $median (median of $rounds rounds; target <= 0.6)"
