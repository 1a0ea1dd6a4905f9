#!/usr/bin/env bash
# Prints the SHA-256 of the map for each pinned command line, in the format of
# tests/data/pinned_maps.txt. Run it only after making sure that a change of
# the maps is intended:
#   scripts/pin_maps.sh build/release/bin/vormap > tests/data/pinned_maps.txt
set -euo pipefail
vormap=${1:?usage: $0 PATH_TO_VORMAP}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo "# SHA-256 of the written map, then the command line. Regenerate with scripts/pin_maps.sh."
while read -r args; do
  # shellcheck disable=SC2086
  "$vormap" $args -o "$scratch/m.vxl" >/dev/null
  printf '%s  %s\n' "$(sha256sum "$scratch/m.vxl" | cut -d' ' -f1)" "$args"
done <<'LIST'
-s 0
-s 0 -d
-s 1
-s -1
-s -12345 -d
-s -2147483648
-s -2147483648 -d
-s 2147483647
-s 2147483647 -d
-s 1 --lake north
-s -1 --lake west -d
-s 1234 --lake south --water 1.5 --trees 0.5
-s 7 --symmetry mirror
-s -12345 --symmetry turn --keep green -d
-s 2147483647 --lake north --symmetry mirror --hills 1.5 --water 0.5
-s 0 --water 0 --trees 2 --hills 0.25
LIST
