#!/usr/bin/env bash
# Installs what the project needs, and nothing more: the one place that knows
# the project's system packages and its Node packages.
#
#   scripts/install-deps.sh map     what building the generator needs
#   scripts/install-deps.sh install what building vormap and vxltool needs (make install)
#   scripts/install-deps.sh deb     'install' plus what making their Debian package needs
#   scripts/install-deps.sh web     what building the page needs (make web): emscripten and the build's Node packages
#   scripts/install-deps.sh test    everything the tests, tools, benchmarks and the page need
#   scripts/install-deps.sh ci      'test' plus the second compiler and sanitizer runtimes
#   scripts/install-deps.sh fresh-root   what scripts/fresh-machine-check.sh needs
#   scripts/install-deps.sh interop   Blender and Goxel, for scripts/blender-check.sh and
#                                 scripts/goxel-check.sh (large: not part of 'ci')
#   scripts/install-deps.sh cross   an aarch64 cross compiler, the generator's arm64
#                                 libraries and qemu-user (scripts/cross-check-aarch64.sh)
#   scripts/install-deps.sh --list GROUP...   print the Debian packages only
#
# Debian packages that are missing are installed with apt-get (after
# apt-get update); Node packages come from the committed package-lock.json
# through `npm ci`. Installing needs root or sudo: without either, the script
# prints the exact command to run and exits with status 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Debian packages, by what needs them.
map_packages=(cmake ninja-build g++ make libhwy-dev)
# Both programs, on top of the generator's: the whole utility library
# (libdeflate, zlib, libcrypto), vxltool (libpng, nlohmann-json,
# meshoptimizer), the manual pages (scdoc) and the Python module (pybind11,
# Debian's python3 headers). vxltool's 3D page is bundled at build time from
# the Node packages three and esbuild, so Node comes too (only the packages
# the build uses: npm ci --omit=dev).
install_packages=(zlib1g-dev libssl-dev libdeflate-dev libpng-dev nlohmann-json3-dev libmeshoptimizer-dev scdoc
                  pybind11-dev python3-dev)
# The Debian package: dpkg-shlibdeps (dpkg-dev) finds its Depends, and
# CPack tells programs from other files with `file`.
deb_packages=(dpkg-dev file)
# The tests and the benchmarks (lz4 and abseil as peers; tinygltf reads our
# meshes back; MPFR checks the valley table; pytest and numpy run the Python
# module's tests).
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev liblz4-dev libabsl-dev pkg-config libtinygltf-dev libmpfr-dev
               python3-pytest python3-numpy)
# The page's WebAssembly build (make web): Debian's emscripten works offline,
# with its system libraries prebuilt; the generator's and the figures'
# headers (Highway, nlohmann-json) come from the host.
web_packages=(emscripten libhwy-dev nlohmann-json3-dev)
# The second compiler and its sanitizer runtimes; a one-node Slurm cluster
# for the test of the sweep scripts (scripts/slurm); Debian's package checks
# (lintian) for make deb's packages; zsh, so that the installed zsh
# completions are parsed.
ci_packages=(clang libclang-rt-14-dev slurm-wlm munge lintian zsh)
# Building the generator for aarch64 and running it under emulation. The
# :arm64 packages need that foreign architecture, which the script adds.
cross_packages=(g++-aarch64-linux-gnu qemu-user libhwy-dev:arm64)
# Node.js and the packages of package-lock.json, for the page tests (npm
# reaches its registry over https).
node_packages=(nodejs npm ca-certificates)
# The browser the page tests drive.
browser_packages=(chromium)
# Other programs opening our files: Blender (its glTF importer needs numpy)
# and the voxel editor Goxel, run headless under a virtual X server.
interop_packages=(blender python3-numpy goxel xvfb xauth)
# Building a fresh Debian root to try the README's commands in.
fresh_root_packages=(debootstrap)

usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; }

list=0
groups=()
for arg in "$@"; do
  case "$arg" in
    --list) list=1 ;;
    map|install|deb|web|test|ci|cross|fresh-root|interop) groups+=("$arg") ;;
    -h|--help) usage; exit 0 ;;
    *) echo "install-deps.sh: unknown group '$arg' (map, install, deb, web, test, ci, cross, fresh-root or interop)" >&2; exit 2 ;;
  esac
done
[ ${#groups[@]} -gt 0 ] || groups=(map)

wanted=()
# Node packages: 0 none, 1 those the build uses, 2 all (the page tests too).
need_node=0
for g in "${groups[@]}"; do
  case "$g" in
    map)  wanted+=("${map_packages[@]}") ;;
    install) wanted+=("${map_packages[@]}" "${install_packages[@]}"); [ $need_node = 2 ] || need_node=1 ;;
    deb)  wanted+=("${map_packages[@]}" "${install_packages[@]}" "${deb_packages[@]}"); [ $need_node = 2 ] || need_node=1 ;;
    web)  wanted+=("${map_packages[@]}" "${web_packages[@]}"); [ $need_node = 2 ] || need_node=1 ;;
    test) wanted+=("${map_packages[@]}" "${install_packages[@]}" "${test_packages[@]}" "${browser_packages[@]}" "${web_packages[@]}"); need_node=2 ;;
    ci)   wanted+=("${map_packages[@]}" "${install_packages[@]}" "${deb_packages[@]}" "${test_packages[@]}" "${browser_packages[@]}" "${web_packages[@]}" "${ci_packages[@]}"); need_node=2 ;;
    fresh-root) wanted+=("${fresh_root_packages[@]}") ;;
    cross) wanted+=("${cross_packages[@]}") ;;
    interop) wanted+=("${interop_packages[@]}") ;;
  esac
done
# A node and npm found on the PATH (the machine's own, newer than Debian's)
# are kept.
if [ $need_node != 0 ] && ! { command -v node && command -v npm; } >/dev/null 2>&1; then
  wanted+=("${node_packages[@]}")
fi
# De-duplicate, keeping the order.
declare -A seen=()
packages=()
for p in "${wanted[@]}"; do
  [ -n "${seen[$p]:-}" ] && continue
  seen[$p]=1
  packages+=("$p")
done

if [ $list = 1 ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  command="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps.sh: missing packages and no apt-get; install the equivalents of these Debian packages: ${missing[*]}" >&2
    exit 1
  fi
  if [ "$(id -u)" = 0 ]; then
    sudo=()
  elif command -v sudo >/dev/null 2>&1; then
    # sudo may ask for a password on a terminal.
    sudo=(sudo)
  else
    echo "install-deps.sh: missing packages, and neither root nor sudo to install them; as root, run:" >&2
    echo "  $command" >&2
    exit 1
  fi
  echo "installing Debian packages: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  for p in "${missing[@]}"; do
    case "$p" in
      *:arm64)
        if ! dpkg --print-foreign-architectures | grep -qx arm64; then
          "${sudo[@]}" dpkg --add-architecture arm64
        fi ;;
    esac
  done
  if ! { "${sudo[@]}" apt-get update -qq &&
         "${sudo[@]}" apt-get install -y -qq -o Dpkg::Use-Pty=0 --no-install-recommends "${missing[@]}"; } >&2; then
    echo "install-deps.sh: apt-get could not install the missing packages; as root, run:" >&2
    echo "  $command" >&2
    exit 1
  fi
fi

# Node packages, exactly as locked; skipped when node_modules was installed
# from this very lock file (the stamp says which, with " build" when only the
# packages the build uses are there, without the lock's dev packages, which
# only the tests use).
if [ $need_node != 0 ]; then
  stamp="$root/node_modules/.installed-lock.sha256"
  want=$(sha256sum "$root/package-lock.json" | cut -d' ' -f1)
  have=$(cat "$stamp" 2>/dev/null || true)
  if [ $need_node = 2 ]; then
    enough="$want"; omit=()
  else
    enough="$want build"; omit=(--omit=dev)
  fi
  if [ "$have" != "$want" ] && [ "$have" != "$enough" ]; then
    echo "installing Node packages from package-lock.json${omit:+ (those the build uses)}" >&2
    if ! (cd "$root" && npm ci "${omit[@]}" --no-audit --no-fund --loglevel=error >&2); then
      echo "install-deps.sh: npm ci could not install the Node packages of package-lock.json" >&2
      exit 1
    fi
    echo "$enough" > "$stamp"
  fi
fi
