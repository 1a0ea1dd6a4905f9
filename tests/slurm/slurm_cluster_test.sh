#!/usr/bin/env bash
# Runs a seed sweep on a one-node Slurm cluster started here: munged,
# slurmctld and slurmd with a minimal configuration on 127.0.0.1, the array
# job of scripts/slurm over a few hundred seeds, the merge, and a check that
# the merged output equals one vxltool search over the same seeds. Stops
# every daemon it started, by PID. Exits 77 (skipped) with the reason only
# where Slurm cannot start here.
#
#   slurm_cluster_test.sh VXLTOOL SOURCE_DIR
set -euo pipefail
vxltool=$1
source_dir=$2
seeds=${SLURM_TEST_SEEDS:-0-239}
tasks=4

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "starting slurmd and munged needs root"
for program in munged slurmctld slurmd sbatch sinfo; do
  command -v "$program" >/dev/null || skip "$program is not installed (scripts/install-deps.sh ci)"
done

work=$(mktemp -d /tmp/vormap-slurm.XXXXXX)
chmod 755 "$work"
pids=()
stop_daemons() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop_daemons EXIT
show_logs() { for f in "$work"/*.log; do echo "--- $f"; tail -20 "$f"; done; }

# munge: a key of our own and a socket in the work folder.
mkdir -m 700 "$work/munge"
dd if=/dev/urandom of="$work/munge/key" bs=1024 count=1 status=none
chmod 400 "$work/munge/key"
munged --foreground --force --key-file="$work/munge/key" --socket="$work/munge/socket" \
  --pid-file="$work/munge/pid" --seed-file="$work/munge/seed" --log-file="$work/munged.log" \
  >"$work/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$work/munge/socket" ] && break; sleep 0.1; done
[ -S "$work/munge/socket" ] || { show_logs; skip "munged did not start"; }

# Ports of our own, so that a cluster of the machine or another run of this
# test does not answer.
port=$((20000 + $$ % 20000))
node=$(hostname -s)
cpus=$(nproc)
mkdir -p "$work/state" "$work/spool"
cat > "$work/slurm.conf" <<CONF
ClusterName=vormaptest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
SchedulerParameters=batch_sched_delay=0,sched_min_interval=0
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$work/slurm.conf
slurmctld -D -i -f "$SLURM_CONF" >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$node" >"$work/slurmd.out" 2>&1 &
pids+=($!)
state=
for _ in $(seq 300); do
  state=$(sinfo -h -n "$node" -o %T 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.1
done
[ "$state" = idle ] || { show_logs; skip "the Slurm node did not come up (state '${state:-none}')"; }
echo "one-node cluster up: node $node, $cpus processors, port $port"

# The sweep, as a user would submit it (without the merge job: the test
# waits for the array and merges itself, so it can time them).
out=$work/sweep
mkdir -p "$out"
start=$(date +%s%N)
job=$(SEEDS=$seeds OUTDIR=$out VXLTOOL=$vxltool \
  sbatch --parsable --wait --array=0-$((tasks - 1)) --output="$out/task-%a.log" --export=ALL \
  "$source_dir/scripts/slurm/search-array.sbatch") || { show_logs; cat "$out"/task-*.log; echo "FAILED: the array job failed"; exit 1; }
end=$(date +%s%N)
echo "array job ${job%%;*}: $tasks tasks over seeds $seeds in $(((end - start) / 1000000)) ms"
"$source_dir/scripts/slurm/merge.sh" "$out" "$tasks" "$work/merged.jsonl"

"$vxltool" search "$seeds" -o "$work/direct.jsonl" 2>/dev/null
records=$(wc -l < "$work/direct.jsonl")
if cmp -s "$work/merged.jsonl" "$work/direct.jsonl"; then
  echo "PASSED: the merged output of $tasks tasks equals one search over the same seeds ($records records)"
else
  diff <(cut -c1-60 "$work/merged.jsonl") <(cut -c1-60 "$work/direct.jsonl") | head
  echo "FAILED: the merged output differs from one search"
  exit 1
fi
