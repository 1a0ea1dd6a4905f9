#!/usr/bin/env bash
# Tries the README's two commands as a new user would, on a fresh Debian 12
# root that holds only the C++ toolchain a new machine brings; then makes the
# Debian packages there and installs them on a second fresh root that has no
# compiler at all, as a map maker's machine would.
#
#   sudo scripts/fresh-machine-check.sh [--rebuild] [--no-test] [WORK_DIR]
#
# 1. Builds a Debian 12 root with `debootstrap --variant=minbase bookworm`
#    from the mirror this machine's apt uses, and installs into it only
#    cmake, ninja-build, g++, clang, make, git and python3. That root is
#    kept as WORK_DIR/base.tar.gz (and the bare minbase root, before the
#    toolchain, as WORK_DIR/minbase.tar.gz), so a second run starts from
#    them in a minute; --rebuild makes them again.
# 2. Unpacks a new copy of that root, clones this repository's committed
#    HEAD into it (uncommitted changes are not part of the check), and runs,
#    with chroot, as root:
#        make map ARGS="-s 1234 -o map.vxl"
#        make test              (not with --no-test, which saves most of the time)
#        make deb
# 3. Unpacks a second fresh root from the bare minbase (no compiler, no
#    CMake), installs the three packages there with
#        apt-get install ./vormap_VERSION_ARCH.deb ./libvormap0_... ./libvormap-dev_... ./python3-vormap_...
#    which must bring in every library they need and no compiler, and runs
#    vormap -s SEED and vxltool info on the map, both found on the PATH,
#    vxltool web (the installed page, written out), and
#    checks that the loader finds libvormap.so.0 and each package has its
#    copyright file.
# 4. Compares the maps of both roots with the one this machine's release
#    build makes from the same seed, and with the fresh root's own release
#    build.
#
# WORK_DIR defaults to /var/tmp/vormap-fresh-root. Needs root (debootstrap,
# mount, chroot) and the network (Debian's mirror, the npm registry); the
# root gets this machine's name servers, proxy variables and locally added CA
# certificates. Slow: tens of minutes, mostly installing packages and
# building. Progress and the commands' output go to standard output; the
# last lines are a PASS or FAIL summary, and the exit status is 0 only on
# PASS.
set -euo pipefail
# The whole script is one block, read before it runs: editing or checking
# out another version of this file during a run cannot change that run.
{
seed=1234
toolchain=(cmake ninja-build g++ clang make git python3)

rebuild=0
run_tests=1
work=/var/tmp/vormap-fresh-root
for arg in "$@"; do
  case "$arg" in
    --rebuild) rebuild=1 ;;
    --no-test) run_tests=0 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    -*) echo "fresh-machine-check.sh: unknown option '$arg'" >&2; exit 2 ;;
    *) work=$arg ;;
  esac
done

repo=$(cd "$(dirname "$0")/.." && pwd)
start=$(date +%s)
step() { printf '\n== [%s, +%ds] %s\n' "$(date -u +%H:%M:%S)" $(( $(date +%s) - start )) "$*"; }
fail() { echo "fresh-machine-check.sh: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || fail "needs root (debootstrap, mount and chroot); run it with sudo"
mkdir -p "$work"
work=$(cd "$work" && pwd)
rootfs=$work/root
pkgroot=$work/package-root
base_tar=$work/base.tar.gz
minbase_tar=$work/minbase.tar.gz
base_stamp=$work/base.packages

# Everything mounted below the fresh root, innermost last; unmounted on exit,
# whatever happens, before anything there is removed.
mounted=()
unmount_all() {
  local i
  for (( i=${#mounted[@]}-1; i>=0; i-- )); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
  done
  mounted=()
}
mounts_below() { awk -v r="$1" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts; }
remove_root() {
  local dir=$1
  [ -e "$dir" ] || return 0
  # Never remove through something still mounted there.
  if [ -n "$(mounts_below "$dir")" ]; then
    fail "still mounted below $dir: $(mounts_below "$dir" | tr '\n' ' ')"
  fi
  rm -rf --one-file-system "$dir"
}
mount_in() {  # mount_in TARGET mount-arguments...
  local target=$1; shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}
# The chroot needs a few devices, /proc, a shared-memory /dev/shm (Chromium),
# and /sys. Fresh instances only: binding the host's /dev could carry mounts
# back to the host.
mount_root() {
  local r=$1 node
  for node in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
    IFS=: read -r name major minor <<<"$node"
    [ -c "$r/dev/$name" ] || { rm -f "$r/dev/$name"; mknod -m 666 "$r/dev/$name" c "$major" "$minor"; }
  done
  mount_in "$r/proc" -t proc proc
  mount_in "$r/sys" -t sysfs -o ro sysfs
  mount_in "$r/dev/pts" -t devpts -o newinstance,ptmxmode=0666 devpts
  [ -e "$r/dev/ptmx" ] || ln -s pts/ptmx "$r/dev/ptmx"
  mount_in "$r/dev/shm" -t tmpfs -o mode=1777 tmpfs
}
in_root() {  # in_root DIR COMMAND: a login-like shell as root in the chroot
  local proxies=() v
  for v in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
    [ -n "${!v:-}" ] && proxies+=("$v=${!v}")
  done
  chroot "$1" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 "${proxies[@]}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "$2"
}
trap unmount_all EXIT
trap 'exit 130' INT TERM

# The mirrors of this machine's apt: "URI SUITE" for each Debian source, from
# the one-line and the deb822 formats.
apt_sources() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ } print $i, $(i+1) }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'function flush() { if (types ~ /(^| )deb( |$)/ && enabled != "no")
                              for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++) print uris[u], suites[s]
                            types = ""; enabled = ""; nu = 0; ns = 0 }
         /^[ \t]*$/ { flush(); next }
         /^#/ { next }
         tolower($1) == "types:"   { types = $0; sub(/^[^:]*:[ \t]*/, "", types) }
         tolower($1) == "enabled:" { enabled = tolower($2) }
         tolower($1) == "uris:"    { nu = 0; for (i = 2; i <= NF; i++) uris[++nu] = $i }
         tolower($1) == "suites:"  { ns = 0; for (i = 2; i <= NF; i++) suites[++ns] = $i }
         END { flush() }' "$f"
  done
}
mirror=$(apt_sources | awk '$2 == "bookworm" { print $1; exit }')
security=$(apt_sources | awk '$2 == "bookworm-security" { print $1; exit }')
mirror=${mirror:-http://deb.debian.org/debian}
security=${security:-http://deb.debian.org/debian-security}

if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  echo "note: $repo has uncommitted changes; the check uses its committed HEAD $(git -C "$repo" rev-parse --short HEAD)"
fi

# ---------------------------------------------------------------- the base
if [ $rebuild = 1 ] || [ ! -f "$base_tar" ] || [ ! -f "$minbase_tar" ] ||
   [ "$(cat "$base_stamp" 2>/dev/null)" != "${toolchain[*]}" ]; then
  step "building a Debian 12 root (debootstrap --variant=minbase bookworm, $mirror)"
  "$repo/scripts/install-deps.sh" fresh-root
  base=$work/base
  remove_root "$base"
  rm -f "$base_tar" "$minbase_tar" "$base_stamp"
  debootstrap --variant=minbase bookworm "$base" "$mirror"
  cat > "$base/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
  cp -L /etc/resolv.conf "$base/etc/resolv.conf"
  step "keeping the bare root, without a toolchain, as $minbase_tar"
  tar -C "$base" -czf "$minbase_tar" .
  step "installing the toolchain of a new machine: ${toolchain[*]}"
  mount_root "$base"
  in_root "$base" "export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends ${toolchain[*]} >/dev/null && apt-get clean"
  unmount_all
  step "keeping that root as $base_tar"
  tar -C "$base" -czf "$base_tar" .
  echo "${toolchain[*]}" > "$base_stamp"
  remove_root "$base"
else
  step "starting from the kept root $base_tar (--rebuild makes it again)"
fi

# ----------------------------------------------------------- a fresh copy
step "unpacking a fresh root in $rootfs"
remove_root "$rootfs"
mkdir -p "$rootfs"
tar -C "$rootfs" -xzf "$base_tar"
# The network as this machine sees it: its name servers, and the certificate
# authorities its administrator added (Debian's ca-certificates picks them up
# when it is installed), or npm cannot reach its registry through a proxy
# that re-signs TLS.
cp -L /etc/resolv.conf "$rootfs/etc/resolv.conf"
local_cas=(/usr/local/share/ca-certificates/*.crt)
if [ -e "${local_cas[0]}" ]; then
  mkdir -p "$rootfs/usr/local/share/ca-certificates"
  cp -L "${local_cas[@]}" "$rootfs/usr/local/share/ca-certificates/"
  echo "copied this machine's ${#local_cas[@]} local CA certificates into the root"
fi
mount_root "$rootfs"

step "cloning $(git -C "$repo" rev-parse --short HEAD) ($(git -C "$repo" log -1 --format=%s | cut -c1-60)) into /root/vormap"
git clone --quiet --bare --no-local "$repo" "$rootfs/tmp/vormap.git"
in_root "$rootfs" "git clone --quiet /tmp/vormap.git /root/vormap"

# ------------------------------------------------------ the two commands
timed() {  # timed NAME SHOWN DIR COMMAND: runs COMMAND in the root DIR; sets result_NAME
  local name=$1 shown=$2 dir=$3 cmd=$4 t0 rc=0
  t0=$(date +%s)
  step "$shown"
  in_root "$dir" "$cmd" || rc=$?
  local took=$(( $(date +%s) - t0 ))
  printf -v "result_$name" '%s after %dm%02ds' "$([ $rc = 0 ] && echo ok || echo "FAILED with status $rc")" $(( took / 60 )) $(( took % 60 ))
  return $rc
}
in_clone() {  # in_clone NAME SHOWN COMMAND: timed, in the fresh root's clone
  timed "$1" "$2" "$rootfs" "cd /root/vormap && $3"
}
map_ok=0; test_ok=0; deb_ok=0
result_map="not run"; result_test="not run"; result_deb="not run"
map_command="make map ARGS=\"-s $seed -o map.vxl\""
in_clone map "$map_command" "$map_command" && map_ok=1 || true
if [ $run_tests = 1 ]; then
  in_clone test "make test" "make test 2>&1 | tee /tmp/make-test.log; exit \${PIPESTATUS[0]}" && test_ok=1 || true
else
  test_ok=1; result_test="skipped (--no-test)"
fi
tests_line=$(grep -E 'tests passed|tests failed' "$rootfs/tmp/make-test.log" 2>/dev/null | tail -n 1 || true)
in_clone deb "make deb" "make deb" && deb_ok=1 || true
debs=("$rootfs"/root/vormap/build/deb/*.deb)

# ------------------------------- the package, on a root without a compiler
package_ok=0; package_sum=""
result_package="not run (no packages)"
if [ $deb_ok = 1 ] && [ ${#debs[@]} -ge 3 ] && [ -f "${debs[0]}" ]; then
  deb_names=$(for d in "${debs[@]}"; do printf ' ./tmp/%s' "$(basename "$d")"; done)
  remove_root "$pkgroot"
  mkdir -p "$pkgroot"
  tar -C "$pkgroot" -xzf "$minbase_tar"
  cp -L /etc/resolv.conf "$pkgroot/etc/resolv.conf"
  cp "${debs[@]}" "$pkgroot/tmp/"
  mount_root "$pkgroot"
  timed package "a second fresh root without a compiler ($pkgroot): apt-get install$deb_names" "$pkgroot" "set -e
    export DEBIAN_FRONTEND=noninteractive
    no_compiler() {
      for c in cc gcc g++ c++ clang cmake; do
        if command -v \$c >/dev/null; then echo \"this root has \$c, but should have no compiler (\$1)\"; exit 1; fi
      done
    }
    no_compiler 'before installing'
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends$deb_names >/dev/null
    no_compiler 'the packages brought one'
    cd /tmp
    command -v vormap vxltool
    vormap --version
    vormap -s $seed -o map.vxl
    vxltool info map.vxl
    dpkg -L vormap | grep -E 'man1/(vormap|vxltool)\.1\.gz|completions/(vormap|vxltool)\$'
    vxltool web
    vxltool web page.html && cmp page.html /usr/share/vormap/vormap.html
    ldconfig -p | grep -F 'libvormap.so.0 '
    for p in vormap libvormap0 libvormap-dev python3-vormap; do ls /usr/share/doc/\$p/copyright /usr/share/doc/\$p/changelog.gz; done
    python3 -c 'import hashlib, vormap; print(hashlib.sha256(vormap.generate($seed).vxl()).hexdigest())'
    ls /usr/include/vormap/vormap.h /usr/lib/*/pkgconfig/vormap.pc /usr/lib/*/cmake/vormap/vormapConfig.cmake" && package_ok=1 || true
  [ -f "$pkgroot/tmp/map.vxl" ] && package_sum=$(sha256sum < "$pkgroot/tmp/map.vxl" | cut -d' ' -f1)
fi

# --------------------------------------------------------------- the maps
step "comparing the map with this machine's release build"
host_map=$work/host-$seed.vxl
host_sum="" fresh_sum="" fresh_release_sum=""
if (cd "$repo" && cmake --preset release >/dev/null && cmake --build --preset release --target vormap >/dev/null &&
    ./build/release/bin/vormap -s "$seed" -o "$host_map" >/dev/null); then
  host_sum=$(sha256sum < "$host_map" | cut -d' ' -f1)
fi
[ -f "$rootfs/root/vormap/map.vxl" ] && fresh_sum=$(sha256sum < "$rootfs/root/vormap/map.vxl" | cut -d' ' -f1)
if [ -x "$rootfs/root/vormap/build/release/bin/vormap" ] &&
   in_root "$rootfs" "/root/vormap/build/release/bin/vormap -s $seed -o /tmp/release-$seed.vxl >/dev/null"; then
  fresh_release_sum=$(sha256sum < "$rootfs/tmp/release-$seed.vxl" | cut -d' ' -f1)
fi
echo "this machine, release build:   ${host_sum:-(none: the release build failed)}"
echo "fresh root, make map:          ${fresh_sum:-(none)}"
echo "fresh root, release build:     ${fresh_release_sum:-(none)}"
echo "package root, vormap:          ${package_sum:-(none)}"
maps_ok=0
# Without make test the fresh root has no release build to compare.
[ -n "$host_sum" ] && [ "$fresh_sum" = "$host_sum" ] &&
  { [ $run_tests = 0 ] || [ "$fresh_release_sum" = "$host_sum" ]; } &&
  [ "$package_sum" = "$host_sum" ] && maps_ok=1

unmount_all

# ---------------------------------------------------------------- summary
verdict=PASS
[ $map_ok = 1 ] && [ $test_ok = 1 ] && [ $deb_ok = 1 ] && [ $package_ok = 1 ] && [ $maps_ok = 1 ] || verdict=FAIL
echo
echo "== fresh-machine check of $(git -C "$repo" rev-parse --short HEAD) on Debian 12 minbase + ${toolchain[*]}, $(( ($(date +%s) - start) / 60 )) min"
echo "   $map_command: $result_map"
echo "   make test: $result_test${tests_line:+ ($tests_line)}"
echo "   make deb: $result_deb"
echo "   the packages on a root without a compiler (apt-get install, vormap, vxltool info, the library): $result_package"
echo "   map of seed $seed (both roots): $([ $maps_ok = 1 ] && echo "identical to this machine's release build (sha256 ${host_sum:0:16}...)" || echo "DIFFERS or missing (see above)")"
echo "   the fresh roots stay in $rootfs and $pkgroot for a look (chroot DIR)"
echo "fresh-machine check: $verdict"
[ $verdict = PASS ]
exit
}
