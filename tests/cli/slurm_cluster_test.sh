#!/usr/bin/env bash
# A farm render on a real Slurm cluster: starts a private one-node cluster
# (munged, slurmctld, slurmd) in a temporary folder with its own key, ports,
# state and spool, submits the array job script of `vidmixer slurm` with
# sbatch --wait, and checks that every frame equals a one-process render.
# Stops what it started by process id. Exit 77 (skipped) without Slurm and
# munge, or when not run as root (slurmd must start jobs).
# Usage: slurm_cluster_test.sh VIDMIXER [LEAK_SUPPRESSIONS]
set -euo pipefail
vidmixer=$1
# A sanitized vidmixer's leak checker, in the jobs too (sbatch passes the environment on).
[ -n "${2:-}" ] && export LSAN_OPTIONS="print_suppressions=0:suppressions=$2"

for program in munged slurmctld slurmd sbatch sinfo ffmpeg; do
  command -v "$program" >/dev/null || { echo "SKIP: $program is not installed (scripts/setup.sh installs it)"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "SKIP: the private cluster's slurmd runs as root"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-slurm-XXXXXX")
chmod 755 "$work"
pids=()
stop_all() {
  local status=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    for log in "$work"/log/*; do [ -f "$log" ] && { echo "== $log"; tail -20 "$log"; }; done
  fi
  rm -rf "$work"
}
trap stop_all EXIT

mkdir -p "$work"/{key,munge,state,spool,log,in,out,ref,vout}

# A film scene with Old'n'Dusty quality in segments of 4 frames, 14 frames.
(cd "$work"
ffmpeg -v error -f lavfi -i testsrc=size=48x36:rate=24 -frames:v 14 -start_number 1 in/%04d.png
"$vidmixer" new scene.json --frames 1-14 --segment 4 >/dev/null
sed -i 's/"record": "[^"]*"/"record": "0 1 1 0 0 1 0 2 255 255 255 1 0 0 0 0 0 1"/' scene.json
"$vidmixer" render scene.json -i 'in/####.png' -o 'ref/####.png' -q
# The same from an H.264 video with B-frames and a key frame every 12 frames.
ffmpeg -v error -f lavfi -i testsrc=size=48x36:rate=24 -frames:v 14 -c:v libx264 -g 12 -bf 2 in.mp4
"$vidmixer" render scene.json -i in.mp4 -o 'vref/####.png' -q)

started=$(date +%s.%N)
chmod 700 "$work/key"
head -c 1024 /dev/urandom >"$work/key/munge.key"
chmod 400 "$work/key/munge.key"
socket="$work/munge/munge.socket"
munged --foreground --force --key-file="$work/key/munge.key" --socket="$socket" \
  --pid-file="$work/key/munged.pid" --seed-file="$work/key/seed" --log-file="$work/log/munged.log" \
  >>"$work/log/munged.log" 2>&1 &
pids+=($!)

node=$(hostname -s)
port=$((20000 + RANDOM % 20000))
cat >"$work/slurm.conf" <<CONF
ClusterName=kivotest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$work/slurm.conf"

for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || { echo "munged did not start"; exit 1; }
slurmctld -D -i -f "$SLURM_CONF" >>"$work/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >>"$work/log/slurmd.out" 2>&1 &
pids+=($!)
state=""
for _ in $(seq 150); do
  state=$(sinfo -h -n "$node" -o %T 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.2
done
[ "$state" = idle ] || { echo "the node did not come up (state: ${state:-none})"; exit 1; }
ready=$(date +%s.%N)
cd "$work"

submitted=$(date +%s.%N)
"$vidmixer" slurm scene.json -i 'in/####.png' -o 'out/####.png' --tasks 3 -- --output="$work/log/task-%a.out" \
  >job.sbatch
sbatch --wait --quiet job.sbatch
"$vidmixer" slurm scene.json -i in.mp4 -o 'vout/####.png' --tasks 3 -- --output="$work/log/vtask-%a.out" >video.sbatch
sbatch --wait --quiet video.sbatch
done_at=$(date +%s.%N)

for frame in ref/*.png; do
  cmp "$frame" "out/$(basename "$frame")" || { echo "frame $(basename "$frame") differs"; exit 1; }
done
[ "$(ls out | wc -l)" -eq 14 ] || { echo "expected 14 frames, found: $(ls out)"; exit 1; }
for frame in vref/*.png; do
  cmp "$frame" "vout/$(basename "$frame")" || { echo "video frame $(basename "$frame") differs"; exit 1; }
done
[ "$(ls vout | wc -l)" -eq 14 ] || { echo "expected 14 video frames, found: $(ls vout)"; exit 1; }
printf 'Slurm arrays of 3 tasks, from a sequence and a video: 14 frames each identical to one process; cluster up in %.1f s, array jobs (sbatch --wait) in %.1f s\n' \
  "$(echo "$ready - $started" | bc)" "$(echo "$done_at - $submitted" | bc)"
