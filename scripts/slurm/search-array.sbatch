#!/usr/bin/env bash
# One task of a seed sweep as a Slurm array job: task K of N runs
#   vxltool search SEEDS --shard K/N -o OUTDIR/shard-K.jsonl --resume
# so the N tasks cover SEEDS exactly once, and a task that is requeued or
# resubmitted goes on from its file instead of starting again.
#
#   sbatch --array=0-99 --export=ALL,VXLTOOL=/path/to/vxltool,SEEDS=all,OUTDIR=/shared/sweep \
#          scripts/slurm/search-array.sbatch
#
# Environment: VXLTOOL (default: vxltool on the PATH), SEEDS (required),
# OUTDIR (required, on a file system every node sees), WHERE (optional
# --where expression). Each task makes SLURM_CPUS_PER_TASK maps at a time
# (--cpus-per-task, default 1). Then scripts/slurm/merge.sh OUTDIR N.
#SBATCH --job-name=vormap-search
#SBATCH --cpus-per-task=1
#SBATCH --requeue
#SBATCH --open-mode=append
set -euo pipefail
: "${SEEDS:?set SEEDS, the seed list to sweep (e.g. all or 0-999999)}"
: "${OUTDIR:?set OUTDIR, a folder every node can write}"
: "${SLURM_ARRAY_TASK_ID:?submit this script as an array job (sbatch --array=0-N)}"
: "${SLURM_ARRAY_TASK_COUNT:?submit this script as an array job (sbatch --array=0-N)}"
vxltool=${VXLTOOL:-vxltool}
mkdir -p "$OUTDIR"
args=("$SEEDS" --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT" --jobs "${SLURM_CPUS_PER_TASK:-1}"
      -o "$OUTDIR/shard-$SLURM_ARRAY_TASK_ID.jsonl" --resume)
if [ -n "${WHERE:-}" ]; then args+=(--where "$WHERE"); fi
exec "$vxltool" search "${args[@]}"
