#!/usr/bin/env bash
# Merges the outputs of a sweep's N array tasks (OUTDIR/shard-K.jsonl, K from
# 0 to N-1) into one file in seed order, after checking every task: its
# progress file says it finished shard K/N of the same sweep as the others,
# its file has the size it had then and ends with a whole record, its seeds
# rise, no seed is in two shards, and there is no task N. A refusal is one
# line naming the shard; nothing is written then.
#
#   scripts/slurm/merge.sh OUTDIR N OUT.jsonl
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: merge.sh OUTDIR N OUT.jsonl" >&2
  exit 2
fi
outdir=$1 n=$2 out=$3
if ! [[ $n =~ ^[1-9][0-9]{0,8}$ ]]; then
  echo "merge.sh: N must be the number of tasks, a whole number from 1 to 999999999, not '$n'" >&2
  exit 2
fi
refuse() { echo "merge.sh: $*" >&2; exit 1; }
files=()
sweep=
for ((k = 0; k < n; k++)); do
  f=$outdir/shard-$k.jsonl
  [ -f "$f" ] || refuse "task $k left no $f"
  [ -f "$f.progress" ] || refuse "task $k left no $f.progress: it never started, or $f is not a search's output"
  { IFS= read -r signature && IFS= read -r state && IFS= read -r done_line && IFS= read -r bytes_line; } \
    < "$f.progress" || refuse "task $k: $f.progress is cut short"
  [ "$state" = finished ] || refuse "task $k did not finish ($f.progress says $state)"
  if ! [[ $signature =~ ^(.*)\ \|\ shard\ ([0-9]+)/([0-9]+)\ \|\ format\ jsonl$ ]]; then
    refuse "task $k: $f.progress is not that of a JSON-lines search shard"
  fi
  [ "${BASH_REMATCH[2]}/${BASH_REMATCH[3]}" = "$k/$n" ] ||
    refuse "task $k: $f holds shard ${BASH_REMATCH[2]}/${BASH_REMATCH[3]}, not $k/$n (is N right?)"
  if [ $k -eq 0 ]; then
    sweep=${BASH_REMATCH[1]}
  elif [ "${BASH_REMATCH[1]}" != "$sweep" ]; then
    refuse "task $k: $f is from another sweep than shard-0.jsonl"
  fi
  size=$(stat -c %s "$f")
  [ "bytes $size" = "$bytes_line" ] || refuse "task $k: $f has $size bytes, not the ${bytes_line#bytes } it had when it finished"
  if [ "$size" -gt 0 ] && [ -n "$(tail -c 1 "$f")" ]; then refuse "task $k: $f ends in a record cut short"; fi
  # Every line a whole record, seeds rising.
  problem=$(LC_ALL=C awk '
    !/^\{"seed":-?[0-9]+,.*\}$/ { print "line " NR " is not a whole record"; exit }
    { split($0, a, /[:,]/); s = a[2] + 0
      if (NR > 1 && s <= last) { print "seed " s " on line " NR " is not after seed " last; exit }
      last = s }' "$f")
  [ -z "$problem" ] || refuse "task $k: $f: $problem"
  files+=("$f")
done
[ ! -e "$outdir/shard-$n.jsonl" ] || refuse "$outdir/shard-$n.jsonl is there too: the sweep has more than $n tasks"
# Each file is already in seed order, so a merge is enough; the seed is the
# number after the first colon of every record ({"seed":N,...}).
tmp=$(mktemp "$out.XXXXXX")
trap 'rm -f "$tmp"' EXIT
LC_ALL=C sort -m -s -t: -k2,2n "${files[@]}" > "$tmp"
twice=$(LC_ALL=C awk -F'[:,]' '{ s = $2 + 0; if (NR > 1 && s == last) { print s; exit } last = s }' "$tmp")
if [ -n "$twice" ]; then
  shards=$(grep -l "^{\"seed\":$twice," "${files[@]}" | tr '\n' ' ')
  refuse "seed $twice is in more than one shard: ${shards% }"
fi
mv "$tmp" "$out"
trap - EXIT
