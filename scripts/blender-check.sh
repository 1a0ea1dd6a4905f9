#!/usr/bin/env bash
# Blender opens the glTF file of a generated map: `vxltool mesh` writes it
# (quantized, the default), Blender imports it headless, and the number of
# faces it ends up with must be the file's number of triangles.
#
#   scripts/blender-check.sh [BUILD_BIN_DIR] [SEED]
#
# Needs the 'interop' packages (scripts/install-deps.sh interop). Blender
# cannot import --meshopt files, so only the default form is checked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/release/bin}
seed=${2:-1}
command -v blender >/dev/null || { echo "blender-check.sh: no blender: run scripts/install-deps.sh interop" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$bin/vormap" -s "$seed" -o "$scratch/map.vxl" >/dev/null
"$bin/vxltool" mesh "$scratch/map.vxl" "$scratch/map.glb" | tee "$scratch/mesh.txt"
triangles=$(sed -n 's/.*, \([0-9]*\) triangles,.*/\1/p' "$scratch/mesh.txt")
SECONDS=0
out=$(blender -b --factory-startup --python "$root/scripts/blender_import_glb.py" -- "$scratch/map.glb" 2>&1) || {
  echo "$out" >&2
  echo "blender-check.sh: Blender failed" >&2
  exit 1
}
faces=$(sed -n 's/^faces \([0-9]*\)$/\1/p' <<<"$out")
echo "Blender imported ${faces:-no} faces of $triangles triangles in $SECONDS s"
if [ "${faces:-}" != "$triangles" ]; then
  echo "$out" | tail -20 >&2
  echo "blender-check.sh: Blender has ${faces:-no} faces, the file $triangles triangles" >&2
  exit 1
fi
