#!/usr/bin/env bash
# Installs the programs of a build tree into a temporary prefix, as make
# install does, and checks that exactly their files are there and work: both
# programs run, the manual pages render, the bash completion completes, the
# changelog reads back.
#
#   tests/install_test.sh BUILD_DIR ZSH_COMPLETION_DIR [WEB_PAGE]
# (WEB_PAGE: the page the build installs, when it does.)
set -euo pipefail
build=$1
zsh_dir=$2
page=${3:-}
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vormap-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --component programs --prefix "$prefix" >/dev/null

expected=$(printf '%s\n' bin/vormap bin/vxltool share/man/man1/vormap.1.gz share/man/man1/vxltool.1.gz \
  share/bash-completion/completions/vormap share/bash-completion/completions/vxltool \
  "$zsh_dir/_vormap" "$zsh_dir/_vxltool" \
  share/doc/vormap/README.md share/doc/vormap/copyright share/doc/vormap/changelog.gz \
  share/doc/vormap/docs/{commands,gallery,layouts,page,search,voxel-editor}.md \
  share/doc/vormap/docs/{layouts,gallery-variants}.png | sort)
[ -z "$page" ] || expected=$(printf '%s\nshare/vormap/vormap.html\n' "$expected" | sort)
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "installed files differ from the expected ones:
$(diff <(echo "$expected") <(echo "$installed") || true)"

# The programs run from the prefix, without the build tree.
cd "$prefix"
[ "$(bin/vormap --version)" = "$(bin/vxltool --version | sed 's/^vxltool/vormap/')" ] || fail "the versions differ"
out=$(bin/vormap -s 1 -o map.vxl) || fail "vormap failed"
[ "$out" = "Generating to 'map.vxl' using seed '1'
Finished" ] || fail "vormap printed: $out"
info=$(bin/vxltool info map.vxl) || fail "vxltool info failed"
grep -q '^columns  *262144 ' <<<"$info" || fail "vxltool info printed: $info"
bin/vxltool preview --heightmap map.vxl h.png || fail "vxltool preview failed"

# vxltool web names the installed page and copies it; without one it says so.
if [ -n "$page" ]; then
  [ "$(bin/vxltool web)" = "$(pwd -P)/share/vormap/vormap.html" ] || fail "vxltool web names another page: $(bin/vxltool web)"
  bin/vxltool web copy.html && cmp -s copy.html "$page" || fail "vxltool web did not write the page"
else
  ! bin/vxltool web copy.html 2>web.err || fail "vxltool web succeeded without an installed page"
  grep -q "vxltool: web: the page is not installed" web.err && [ ! -e copy.html ] || fail "vxltool web said: $(cat web.err)"
  rm web.err
fi

zcat share/doc/vormap/changelog.gz | head -n 1 | grep -q "^vormap ($(bin/vormap --version | awk '{ print $2 }'))" ||
  fail "the changelog's first entry is not this version"

# The manual pages are whole pages.
for page in vormap vxltool; do
  zcat "share/man/man1/$page.1.gz" | grep -q "^\.SH NAME" || fail "$page.1.gz is no manual page"
  if command -v man >/dev/null; then
    MANWIDTH=80 man -l "share/man/man1/$page.1.gz" 2>/dev/null | grep -q "SYNOPSIS" || fail "man cannot show $page(1)"
  fi
done

# The bash completion completes commands and options.
complete_words() {  # complete_words SCRIPT WORD...: what completing the last word offers
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(( $# - 1 )); _${1}; echo "${COMPREPLY[*]}"' \
    _ "$@"
}
[ "$(complete_words share/bash-completion/completions/vxltool vxltool pre)" = preview ] ||
  fail "bash does not complete 'vxltool pre'"
[ "$(complete_words share/bash-completion/completions/vxltool vxltool preview --he)" = "--heightmap --help" ] ||
  fail "bash does not complete 'vxltool preview --he' to its two options"
# Figure names after --by (a leading - for the smallest) and at the end of a
# --where expression, quoted or not.
vxltool_bash=share/bash-completion/completions/vxltool
[ "$(complete_words $vxltool_bash vxltool search 1-9 --by fai)" = fairness ] ||
  fail "bash does not complete 'vxltool search --by fai'"
[ "$(complete_words $vxltool_bash vxltool search 1-9 --by -green_w)" = -green_water_percent ] ||
  fail "bash does not complete 'vxltool search --by -green_w'"
[ "$(complete_words $vxltool_bash vxltool search 1-9 --where "'trees > 9 and (blue_mean_")" = \
  "trees > 9 and (blue_mean_height trees > 9 and (blue_mean_slope" ] ||
  fail "bash does not complete a figure at the end of a quoted --where expression"
[ "$(complete_words share/bash-completion/completions/vormap vormap --v)" = --version ] ||
  fail "bash does not complete 'vormap --v'"
# The zsh completions at least parse (where zsh is installed).
if command -v zsh >/dev/null; then
  for f in "$zsh_dir"/_vormap "$zsh_dir"/_vxltool; do zsh -n "$f" || fail "$f does not parse"; done
fi
echo "installed and ran: $(echo "$installed" | tr '\n' ' ')"
