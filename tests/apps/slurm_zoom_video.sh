#!/usr/bin/env bash
# A zoom video drawn by a Slurm job array on a one-node cluster started here
# from Debian's packages: munged, slurmctld and slurmd run as root with their
# configuration, key, state and logs in a scratch folder, on this machine's
# name and CPU count, and are stopped however the test ends. The array of
# slurm-zoom-video.sh draws the keyframes into one folder, a dependent job
# assembles the video, and ffprobe checks it. The README's GNU parallel line
# then draws the same keyframes, byte for byte, and a resubmitted array
# redraws only the keyframes that were lost.
# First, without Slurm, the array's tasks split any dive's keyframes into
# runs that cover it exactly once, in order.
# Usage: slurm_zoom_video.sh MANDEL_RENDER SLURM_ZOOM_VIDEO_SH
# Exit 77 (skipped) when not root or a program is missing, unless
# MANDEL_SLURM_TEST=required (as in CI), where that is a failure.
set -euo pipefail
render=$(realpath "$1")
array_script=$(realpath "$2")
export PATH=$PATH:/usr/sbin:/sbin
work=$(mktemp -d)
pids=()

fail() {
  echo "FAIL: $*"
  for log in "$work"/*.out; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 40 "$log"; }
  done
  exit 1
}

# Jobs first, so that no job step outlives the cluster; then the daemons,
# politely and then not. The daemons run in the foreground, logging to
# standard error, into the files shown on a failure.
stop_cluster() {
  if [ ${#pids[@]} -gt 0 ]; then
    scancel --user=root 2>/dev/null || true
    for _ in $(seq 1 50); do
      [ -z "$(squeue -h 2>/dev/null)" ] && break
      sleep 0.2
    done
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do
      for _ in $(seq 1 50); do
        kill -0 "$p" 2>/dev/null || break
        sleep 0.1
      done
      kill -KILL "$p" 2>/dev/null || true
      wait "$p" 2>/dev/null || true
    done
  fi
  rm -rf "$work"
}
trap stop_cluster EXIT
trap 'exit 1' INT TERM

# The tasks' shares, each row: keyframes, array indices. A stand-in for
# mandel-render says how many keyframes there are and which ones it is asked for.
cat >"$work/fake-render" <<'EOF'
#!/bin/sh
[ "$1" = --keyframe-count ] && { echo "$FAKE_COUNT"; exit 0; }
echo "range $4"
EOF
chmod +x "$work/fake-render"
while read -r name count indices; do
  drawn=()
  IFS=: read -r span step <<<"$indices"
  step=${step:-1}
  tasks=0
  for id in $(seq "${span%-*}" "$step" "${span#*-}"); do tasks=$((tasks + 1)); done
  for id in $(seq "${span%-*}" "$step" "${span#*-}"); do
    said=$(MANDEL_RENDER=$work/fake-render FAKE_COUNT=$count SLURM_ARRAY_TASK_ID=$id SLURM_ARRAY_TASK_MIN=${span%-*} \
      SLURM_ARRAY_TASK_MAX=${span#*-} SLURM_ARRAY_TASK_STEP=$step SLURM_ARRAY_TASK_COUNT=$tasks \
      bash "$array_script" "$work/frames" --location x) ||
      fail "$name: task $id failed"
    range=$(sed -n 's/^range //p' <<<"$said")
    [ -n "$range" ] && drawn+=("$range")
  done
  expected=0
  for range in "${drawn[@]}"; do
    [ "${range%:*}" -eq "$expected" ] || fail "$name: the runs ${drawn[*]} do not follow on from 0"
    expected=$((${range#*:} + 1))
  done
  [ "$expected" -eq "$count" ] || fail "$name: the runs ${drawn[*]} end at $((expected - 1)) of $count keyframes"
done <<'EOF'
three_tasks_share_forty   40 0-2
more_tasks_than_keyframes  2 0-3
stepped_array_from_four    7 4-10:2
one_task_takes_all         1 0-0
EOF
# An array of listed indices (0,3,7) is refused rather than leave keyframes
# to the indices between.
if MANDEL_RENDER=$work/fake-render FAKE_COUNT=8 SLURM_ARRAY_TASK_ID=3 SLURM_ARRAY_TASK_MIN=0 SLURM_ARRAY_TASK_MAX=7 \
  SLURM_ARRAY_TASK_COUNT=3 bash "$array_script" "$work/frames" --location x >/dev/null 2>&1; then
  fail "an array of listed indices was taken for a range"
fi

skip() {
  [ "${MANDEL_SLURM_TEST:-}" = required ] && fail "$* (the cluster test must run here)"
  echo "$*: skipped"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "not root (slurmd runs as root)"
for tool in munged slurmctld slurmd sbatch sinfo squeue scontrol scancel ffprobe parallel; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
# Until mandel-render draws keyframes there is nothing to spread: skipped, also in CI.
"$render" --help | grep -q -- '--keyframe-count' || { echo "this mandel-render draws no keyframes: skipped"; exit 77; }

# Two free TCP ports next to each other, for slurmctld and slurmd, so that
# clusters of parallel runs, or a real one, are left alone.
port_taken() { awk 'NR > 1 { print $2 }' /proc/net/tcp /proc/net/tcp6 2>/dev/null | grep -qi ":$(printf %04X "$1")\$"; }
for _ in $(seq 1 100); do
  port=$((20000 + RANDOM % 40000))
  port_taken "$port" || port_taken $((port + 1)) || break
done

# Everything runs as root: slurmd must, to start jobs as their user; munged
# accepts it; and with SlurmUser root no folder needs to belong to the slurm
# user. munged checks that everyone may reach its socket's folder and that
# only its user can read the key.
chmod 755 "$work"
mkdir -p "$work/state" "$work/spool"
head -c 1024 /dev/urandom >"$work/munge.key"
chmod 400 "$work/munge.key"
node=$(hostname -s)
cat >"$work/slurm.conf" <<EOF
ClusterName=mandeltest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge.sock
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SwitchType=switch/none
MailProg=/bin/true
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$work/slurm.conf

munged --foreground --socket="$work/munge.sock" --key-file="$work/munge.key" --pid-file="$work/munged.pid" \
  --seed-file="$work/munged.seed" --log-file="$work/munged.log" >"$work/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do
  [ -S "$work/munge.sock" ] && break
  sleep 0.1
done
[ -S "$work/munge.sock" ] || fail "munged did not start"
slurmctld -D -f "$SLURM_CONF" >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -N "$node" -f "$SLURM_CONF" >"$work/slurmd.out" 2>&1 &
pids+=($!)
state=""
for _ in $(seq 1 150); do
  state=$(sinfo -h -n "$node" -o %T 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.2
done
[ "$state" = idle ] || fail "the node is '$state', not idle, 30 s after the cluster started"
echo "cluster up: node $node, $(nproc) CPUs, ports $port and $((port + 1))"

# Waits until no job is left in the queue, at most 90 s.
wait_for_jobs() {
  for _ in $(seq 1 450); do
    [ -z "$(squeue -h)" ] && return 0
    sleep 0.2
  done
  fail "jobs still queued or running after 90 s: $(squeue -h)"
}

# A short dive: 160 x 90 to 1E+12, 3 s at 10 frames a second, in three tasks.
location='mandel-location/1 mode=7 fn=1.5,2.5,0.5 moduli=170,230,300 centre=-0.7436438870371587,0.1318259042053119 zoom=12 iterations=1000'
dive=(--location "$location" --size 160x90)
count=$("$render" --keyframe-count "${dive[@]}") || fail "mandel-render --keyframe-count failed"
[ "$count" -ge 3 ] || fail "a dive to 1E+12 has $count keyframes"
keyframes=$work/keyframes
video=$work/zoom.mp4
cd "$work"
export MANDEL_RENDER=$render
array=$(sbatch --parsable --array=0-2 --cpus-per-task=1 --output="$work/keyframes-%a.out" "$array_script" "$keyframes" "${dive[@]}") ||
  fail "sbatch refused the keyframe array"
assemble=$(sbatch --parsable --dependency="afterok:$array" --kill-on-invalid-dep=yes --output="$work/assemble.out" \
  --wrap "$(printf '%q ' "$render" --assemble "$keyframes" --video "$video" --fps 10 --seconds 3)") ||
  fail "sbatch refused the assembly"
wait_for_jobs
states=$(scontrol -o show job "$array"; scontrol -o show job "$assemble")
[ "$(grep -c 'JobState=COMPLETED' <<<"$states")" -eq 4 ] ||
  fail "not all of the three keyframe tasks and the assembly completed: $(grep -o 'JobId=[0-9]* .*JobState=[A-Z_]*' <<<"$states" | sed 's/ .* / /')"
for task in 0 1 2; do
  grep -q "^task $task of 3: keyframes" "$work/keyframes-$task.out" || fail "array task $task drew no keyframes"
done

# Every keyframe is in the folder under its name, and nothing else that
# looks like one.
for ((k = 0; k < count; k++)); do
  name=$(printf 'keyframe-%05d.png' "$k")
  [ -s "$keyframes/$name" ] || fail "keyframe $k ($name) is missing from the folder"
done
present=$(find "$keyframes" -name 'keyframe-*.png' | wc -l)
[ "$present" -eq "$count" ] || fail "the keyframe folder holds $present keyframes for a dive of $count"
# The video is 160 x 90 H.264 of 30 frames, 3 s.
probe=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=codec_name,width,height,pix_fmt,nb_read_frames \
  -show_entries format=duration -of default=noprint_wrappers=1 "$video") || fail "ffprobe cannot read the video"
for expected in codec_name=h264 width=160 height=90 pix_fmt=yuv420p nb_read_frames=30; do
  grep -qx "$expected" <<<"$probe" || fail "the video is not $expected: $probe"
done
duration=$(sed -n 's/^duration=//p' <<<"$probe")
awk -v d="$duration" 'BEGIN { exit !(d >= 2.95 && d <= 3.05) }' || fail "the video lasts $duration s, not 3"
echo "$count keyframes drawn by three array tasks and assembled: $(tr '\n' ' ' <<<"$probe")"

# The README's GNU parallel line, over two hosts that are this machine behind
# a stand-in for ssh, on every core where the array's tasks had one thread
# each: the same keyframes, byte for byte.
cat >"$work/ssh" <<'EOF'
#!/bin/sh
# ssh [OPTIONS] HOST [--] COMMAND...: COMMAND run here, as the far side's
# login shell would, with SHELL set: parallel's worker runs the job in
# $SHELL and, without one, quietly runs nothing (CI's environment has none).
while [ "${1#-}" != "$1" ]; do shift; done
shift
[ "$1" = -- ] && shift
SHELL=/bin/sh exec sh -c "$*"
EOF
chmod +x "$work/ssh"
shared=$work/parallel-keyframes
seq 0 10 $((count - 1)) | awk -v n="$count" '{ last = $1 + 9; print $1 ":" (last < n ? last : n - 1) }' |
  parallel --ssh "$work/ssh" -q -j 1 -S host1,host2 "$render" --keyframes "$shared" --keyframe-range {} "${dive[@]}" \
    >"$work/parallel.out" 2>&1 || fail "GNU parallel's hosts failed to draw the keyframes"
[ "$(grep -c ' drawn, ' "$work/parallel.out")" -eq $(((count + 9) / 10)) ] ||
  fail "GNU parallel's hosts did not run every range"
for ((k = 0; k < count; k++)); do
  name=$(printf 'keyframe-%05d.png' "$k")
  cmp -s "$keyframes/$name" "$shared/$name" || fail "keyframe $k differs between one thread and every core"
done
echo "the same $count keyframes drawn over GNU parallel's hosts"

# A stopped run resumes: with two keyframes lost, the same array again draws
# those two only, and the same bytes.
lost=(1 $((count - 2)))
for k in "${lost[@]}"; do
  mv "$keyframes/$(printf 'keyframe-%05d.png' "$k")" "$work/lost-$k.png"
done
again=$(sbatch --parsable --array=0-2 --cpus-per-task=1 --output="$work/again-%a.out" "$array_script" "$keyframes" "${dive[@]}") ||
  fail "sbatch refused the keyframe array the second time"
wait_for_jobs
[ "$(scontrol -o show job "$again" | grep -c 'JobState=COMPLETED')" -eq 3 ] || fail "the resubmitted array did not complete"
redrawn=$(sed -n 's/.*: \([0-9]*\) drawn, .*/\1/p' "$work"/again-*.out | awk '{ n += $1 } END { print n + 0 }')
[ "$redrawn" -eq 2 ] || fail "resubmitted, the array drew $redrawn keyframes where 2 were lost"
for k in "${lost[@]}"; do
  cmp -s "$work/lost-$k.png" "$keyframes/$(printf 'keyframe-%05d.png' "$k")" || fail "keyframe $k drawn again differs"
done
echo "resubmitted, the array drew only the 2 lost keyframes again"
