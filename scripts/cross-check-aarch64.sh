#!/usr/bin/env bash
# Builds the generator for aarch64 with Debian's cross compiler, runs it under
# qemu-user for every pinned command line of tests/data/pinned_maps.txt, and
# compares the maps' SHA-256 with the pins: the same seed must give the same
# bytes on another processor and another set of vector instructions. Each map
# is made twice: on an emulated processor with SVE2 (256-bit vectors) and on
# one with NEON only. Both on one thread: qemu-user starts a thread so slowly
# that a map on several threads takes many minutes there (the thread count
# is checked natively by map_threads_test and under ThreadSanitizer).
#   scripts/cross-check-aarch64.sh          (installs the 'cross' packages first)
# Exits with 0 when every map matches its pin.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh cross

build=build/aarch64
# pkg-config must describe the arm64 libraries, not the host's.
export PKG_CONFIG_LIBDIR=/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVORMAP_WERROR=ON -DVORMAP_BUILD_TESTS=OFF -DVORMAP_BUILD_BENCH=OFF \
  -DVORMAP_BUILD_TOOLS=OFF -DVORMAP_BUILD_UTIL=OFF >/dev/null
cmake --build "$build" --target vormap
file "$build/bin/vormap" | sed 's/, BuildID.*//'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
checked=0
# qemu's "max" processor has SVE and SVE2 (its widest vectors emulate very
# slowly, hence 256 bits); the Cortex-A72 has NEON only.
for cpu in max,sve-max-vq=2 cortex-a72; do
  while read -r pin args; do
    case "$pin" in '#'*|'') continue ;; esac
    # shellcheck disable=SC2086
    QEMU_CPU=$cpu VORMAP_THREADS=1 \
      qemu-aarch64 -L /usr/aarch64-linux-gnu "$build/bin/vormap" $args -o "$scratch/m.vxl" </dev/null >/dev/null
    got=$(sha256sum "$scratch/m.vxl" | cut -d' ' -f1)
    checked=$((checked + 1))
    if [ "$got" = "$pin" ]; then
      echo "same      cpu $cpu: $args"
    else
      echo "DIFFERENT cpu $cpu: $args ($got)"
      failures=$((failures + 1))
    fi
  done < tests/data/pinned_maps.txt
done
if [ $failures -ne 0 ]; then
  echo "cross-check-aarch64: $failures of $checked maps differ from their pins" >&2
  exit 1
fi
echo "cross-check-aarch64: all $checked maps match their pins"
