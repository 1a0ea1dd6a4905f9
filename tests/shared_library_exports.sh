#!/usr/bin/env bash
# libvormap.so exports the public API and nothing else: every dynamic symbol
# it defines is a function the public headers declare (the C functions of
# vormap_c.h, the functions and the map class of vormap.h), and its SONAME
# is libvormap.so.0.
#   shared_library_exports.sh LIBVORMAP_SO INCLUDE_DIR
set -euo pipefail
library=$1 include=$2
fail() { echo "shared_library_exports: $*" >&2; exit 1; }

soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libvormap.so.0 ] || fail "SONAME is '$soname', not libvormap.so.0"

c_header=$(cat "$include/vormap/vormap_c.h")
cpp_header=$(cat "$include/vormap/vormap.h")
count=0
# Demangled names of the defined dynamic symbols (type letter, then name).
while read -r name; do
  count=$((count + 1))
  function=${name%%(*}
  function=${function%%\[abi:*}  # functions returning std::string carry an ABI tag
  case "$function" in
    vormap_*)
      grep -q "VORMAP_API [^;(]*\b$function(" <<<"$c_header" || fail "exports $name, not declared in vormap_c.h" ;;
    vormap::map::*)
      member=${function#vormap::map::}
      grep -qF "$member(" <<<"$cpp_header" || fail "exports $name, not a member vormap.h declares" ;;
    vormap::*::*)
      fail "exports $name, from a namespace inside vormap" ;;
    vormap::*)
      grep -q "VORMAP_API [^;(]*\b${function#vormap::}(" <<<"$cpp_header" ||
        fail "exports $name, not declared VORMAP_API in vormap.h" ;;
    *)
      fail "exports $name, which is not vormap's public API" ;;
  esac
done < <(nm -D --defined-only -C "$library" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }')
[ $count -gt 0 ] || fail "exports nothing"
echo "libvormap.so.0 exports $count symbols, all of the public API"
