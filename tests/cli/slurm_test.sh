#!/usr/bin/env bash
# The cluster recipe under a real scheduler: starts a one-node Slurm on this
# machine (munged, slurmctld and slurmd, as root, configured in a scratch
# folder), submits tools/slurm/quorrel-array.sbatch as a job array of 4
# tasks over a 40-row batch, waits for it, joins the parts with
# tools/slurm/quorrel-join.sh and checks the result against the same batch
# run on this machine, byte for byte.  It stops the daemons it started by
# their process ids.  Without root it cannot start the daemons: it says so
# and ends with status 77, which tools/run-tests.sh lists as "not checked".
# Slurm and munge that cannot be installed (tools/install-deps.sh slurm) are
# a failure, not a reason to skip.
#   slurm_test.sh QUORREL_REPORT_EXECUTABLE
set -euo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")/../.." && pwd)
recipe=$here/tools/slurm/quorrel-array.sbatch
join=$here/tools/slurm/quorrel-join.sh

# The recipe that docs/cluster.md shows is the file itself.
shown=$(awk '/^```bash$/ && !done { on = 1; next } on && /^```$/ { on = 0; done = 1 } on' \
  "$here/docs/cluster.md")
if [ "$shown" != "$(cat "$recipe")" ]; then
  echo "FAIL slurm_test: docs/cluster.md does not show $recipe as it stands"
  exit 1
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP slurm_test: the daemons must run as root"
  exit 77
fi
if ! "$here/tools/install-deps.sh" slurm >/dev/null; then
  echo "FAIL slurm_test: Slurm and munge cannot be installed (tools/install-deps.sh slurm)"
  exit 1
fi

scratch=$(mktemp -d /tmp/quorrel-slurm-XXXXXX)
pids=()
stop() {
  # Only the daemons this script started, newest first.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap stop EXIT
fail() {
  echo "FAIL slurm_test: $*"
  for log in "$scratch"/*.log "$scratch"/out/*.log; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }
  done
  exit 1
}

# munge, with a key of its own and its socket in the scratch folder.
mkdir -m 700 "$scratch/munge"
head -c 1024 /dev/urandom >"$scratch/munge/munge.key"
chmod 400 "$scratch/munge/munge.key"
munged --foreground --force --key-file="$scratch/munge/munge.key" \
  --socket="$scratch/munge/munge.socket" --pid-file="$scratch/munge/munged.pid" \
  --seed-file="$scratch/munge/munged.seed" --log-file="$scratch/munged.log" \
  >"$scratch/munged.out" 2>&1 &
pids+=($!)

# One node with this machine's processors; ports away from Slurm's own.
node=$(hostname -s)
cpus=$(nproc --all)
port=$((20000 + RANDOM % 20000))
mkdir -p "$scratch/state" "$scratch/spool"
cat >"$scratch/slurm.conf" <<CONF
ClusterName=quorreltest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$scratch/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/slurmctld.pid
SlurmdPidFile=$scratch/slurmd.pid
SlurmctldLogFile=$scratch/slurmctld.log
SlurmdLogFile=$scratch/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/affinity
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
ReturnToService=2
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=quorrel Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$scratch/slurm.conf
slurmctld -D -i -f "$SLURM_CONF" >"$scratch/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$node" >"$scratch/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 60); do
  state=$(sinfo -h -n "$node" -o %T 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.5
done
[ "$state" = idle ] || fail "the node did not come up (state \"$state\")"

# 40 rows: every other one analysed, most with the standard-theory prior
# (about a second each), two with the calibrated prior, one of them at
# r = .99; the rows between refused or unreadable in several ways, each of
# which must keep its place, id and line number in the joined output.
{
  echo "id,mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y,prior"
  for i in $(seq 1 40); do
    case $i in
      11) echo "p$i,100,15,50,10,.6,20,70,55,calibrated" ;;
      37) echo "p$i,100,15,50,10,.99,20,97,55,calibrated" ;;
      *[13579]) echo "p$i,100,15,50,10,.$((i % 9 + 1)),20,$((60 + i)),55,standard" ;;
      *[05]) echo "p$i,100,0,50,10,.6,20,70,55,standard" ;;
      *[26]) echo "p$i,100,15,50,10,.6,20,70" ;;
      *[48]) echo "p$i,100,15,50,10,.6,2,70,55,standard" ;;
    esac
  done
} >"$scratch/cases.csv"

"$program" --batch "$scratch/cases.csv" >"$scratch/one-machine.csv" || true
[ "$(wc -l <"$scratch/one-machine.csv")" -eq 41 ] || fail "the one-machine batch did not give 41 lines"

# The recipe as a user submits it; the job has ended when the queue no
# longer holds it (each task ends with status 2 for its refused rows).
job=$(QUORREL_REPORT=$program sbatch --parsable --array=1-4 --cpus-per-task=1 \
  --chdir="$scratch" --output="$scratch/task-%a.log" \
  "$recipe" "$scratch/cases.csv" "$scratch/out") || fail "sbatch refused the recipe"
for _ in $(seq 600); do
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
  sleep 0.5
done
[ -z "$(squeue -h -j "$job")" ] || fail "the job array did not end within 5 minutes"
"$join" "$scratch/out" 4 >"$scratch/joined.csv" || fail "the parts could not be joined"
cmp "$scratch/one-machine.csv" "$scratch/joined.csv" ||
  fail "the job array's joined output differs from the one-machine batch"
echo "slurm_test: a 4-task job array gave the one-machine batch byte for byte"
