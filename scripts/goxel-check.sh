#!/usr/bin/env bash
# The voxel editor Goxel opens the .vox file of a generated map: `vxltool
# to-vox` writes it, Goxel (headless, under a virtual X server) opens it and
# exports its voxels as text, and every voxel must be there in its place and
# colour.
#
#   scripts/goxel-check.sh [BUILD_BIN_DIR] [SEED]
#
# Needs the 'interop' packages (scripts/install-deps.sh interop).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/release/bin}
seed=${2:-1}
for program in goxel xvfb-run python3; do
  command -v "$program" >/dev/null || { echo "goxel-check.sh: no $program: run scripts/install-deps.sh interop" >&2; exit 1; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$bin/vormap" -s "$seed" -o "$scratch/map.vxl" >/dev/null
"$bin/vxltool" to-vox "$scratch/map.vxl" "$scratch/map.vox"
if ! xvfb-run -a goxel "$scratch/map.vox" --export "$scratch/goxel.txt" >"$scratch/goxel.log" 2>&1 ||
   [ ! -s "$scratch/goxel.txt" ]; then
  tail -20 "$scratch/goxel.log" >&2
  echo "goxel-check.sh: Goxel did not export the map" >&2
  exit 1
fi
python3 "$root/scripts/goxel_compare.py" "$scratch/map.vox" "$scratch/goxel.txt"
