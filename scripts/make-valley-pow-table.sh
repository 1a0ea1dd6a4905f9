#!/usr/bin/env bash
# Rewrites generator/terrain/valley_pow_table.inc: valley shaping's pow(f, 0.7)
# correctly rounded (MPFR) for every base it can form. Run after a change to
# valley_width or valley_fraction, then run valley_pow_table_test.
#   scripts/make-valley-pow-table.sh [PRESET]     (default: release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-release}
cd "$root"
cmake --build --preset "$preset" --target make_valley_pow_table >&2
out=generator/terrain/valley_pow_table.inc
"build/$preset/generator/make_valley_pow_table" > "$out.tmp"
mv "$out.tmp" "$out"
echo "wrote $out ($(grep -c '^{' "$out") entries)" >&2
