#!/usr/bin/env bash
# Submits a whole sweep: an array of N search tasks and, once all of them
# have succeeded, the merge into OUTDIR/merged.jsonl.
#
#   scripts/slurm/submit.sh SEEDS OUTDIR N [sbatch options...]
#   e.g. VXLTOOL=$PWD/build/release/bin/vxltool scripts/slurm/submit.sh all /shared/sweep 4096 --cpus-per-task=8
#
# Prints the two job ids. Set WHERE to keep only the seeds that pass it.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: submit.sh SEEDS OUTDIR N [sbatch options...]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
seeds=$1 outdir=$2 n=$3
shift 3
if ! [[ $n =~ ^[1-9][0-9]{0,8}$ ]]; then
  echo "submit.sh: N must be the number of tasks, a whole number from 1 to 999999999, not '$n'" >&2
  exit 2
fi
# A word for the merge job's shell, whatever it holds: in single quotes,
# each ' as '\''.
shell_word() { printf "'%s'" "${1//\'/\'\\\'\'}"; }
mkdir -p "$outdir"
export SEEDS="$seeds" OUTDIR="$outdir" VXLTOOL="${VXLTOOL:-vxltool}" WHERE="${WHERE:-}"
array=$(sbatch --parsable --array=0-$((n - 1)) --output="$outdir/task-%a.log" --export=ALL "$@" \
  "$here/search-array.sbatch")
array=${array%%;*}
merge=$(sbatch --parsable --dependency=afterok:"$array" --job-name=vormap-merge --output="$outdir/merge.log" \
  --wrap="$(shell_word "$here/merge.sh") $(shell_word "$outdir") $n $(shell_word "$outdir/merged.jsonl")")
echo "search array: $array, merge: ${merge%%;*}"
