#!/usr/bin/env bash
# Merges the outputs of a sweep's N array tasks (OUTDIR/shard-K.jsonl, K from
# 0 to N-1) into one file in seed order, after checking that every task
# finished (its file is there and no progress file of an unfinished search
# is left beside it).
#
#   scripts/slurm/merge.sh OUTDIR N OUT.jsonl
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: merge.sh OUTDIR N OUT.jsonl" >&2
  exit 2
fi
outdir=$1 n=$2 out=$3
files=()
for ((k = 0; k < n; k++)); do
  f=$outdir/shard-$k.jsonl
  if [ ! -f "$f" ]; then echo "merge.sh: task $k left no $f" >&2; exit 1; fi
  if [ -e "$f.progress" ]; then echo "merge.sh: task $k did not finish ($f.progress is there)" >&2; exit 1; fi
  files+=("$f")
done
# Each file is already in seed order, so a merge is enough; the seed is the
# number after the first colon of every record ({"seed":N,...}).
tmp=$(mktemp "$out.XXXXXX")
trap 'rm -f "$tmp"' EXIT
LC_ALL=C sort -m -s -t: -k2,2n "${files[@]}" > "$tmp"
mv "$tmp" "$out"
trap - EXIT
