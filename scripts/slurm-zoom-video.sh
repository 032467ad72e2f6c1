#!/bin/bash
#SBATCH --job-name=zoom-keyframes
#SBATCH --output=zoom-keyframes-%A_%a.out
# One task of a Slurm job array that draws a zoom video's keyframes into a
# shared folder: the tasks split the dive's keyframes into even runs, in
# order, and task i of n draws the i-th run. A finished keyframe already in
# the folder is kept, so resubmitting a stopped array only draws the rest.
#
#   jobid=$(sbatch --parsable --array=0-7 slurm-zoom-video.sh KEYFRAME_DIR --location TEXT [OPTIONS])
#   sbatch --dependency=afterok:$jobid --kill-on-invalid-dep=yes \
#     --wrap "mandel-render --assemble KEYFRAME_DIR --video OUT.mp4 [--fps F] [--seconds S]"
#
# OPTIONS are mandel-render's options for the dive (--size, --fn, --mode,
# ...), the same for every task; each task draws on as many threads as its
# --cpus-per-task. The folder must be one every node sees, and every node
# must run the same build of mandel-render: MANDEL_RENDER names it (default:
# mandel-render on the PATH), and sbatch passes the submitting shell's
# environment on.
set -euo pipefail

if [ $# -lt 1 ] || [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  echo "usage: sbatch --array=0-N slurm-zoom-video.sh KEYFRAME_DIR --location TEXT [OPTIONS]" >&2
  exit 2
fi
dir=$1
shift
render=${MANDEL_RENDER:-mandel-render}

# The task's place among the array's tasks, whatever its first index and
# step. A list of indices (0,3,7) would leave keyframes to indices that are
# not there: refused.
min=${SLURM_ARRAY_TASK_MIN:-0}
max=${SLURM_ARRAY_TASK_MAX:-$SLURM_ARRAY_TASK_ID}
step=${SLURM_ARRAY_TASK_STEP:-1}
tasks=$(((max - min) / step + 1))
if [ "${SLURM_ARRAY_TASK_COUNT:-$tasks}" -ne "$tasks" ]; then
  echo "slurm-zoom-video.sh: the array's indices must be a range such as 0-15 or 4-10:2, not a list" >&2
  exit 2
fi
task=$(((SLURM_ARRAY_TASK_ID - min) / step))
count=$("$render" --keyframe-count "$@")
first=$((task * count / tasks))
last=$(((task + 1) * count / tasks - 1))
if [ "$first" -gt "$last" ]; then
  echo "task $task of $tasks: no keyframes left for it (the dive has $count)"
  exit 0
fi
# As many threads as the CPUs Slurm gave the task, unless told otherwise: a
# node shared with other tasks is not all ours.
threads=()
if [ -n "${SLURM_CPUS_PER_TASK:-}" ] && [[ " $* " != *" --threads "* ]]; then
  threads=(--threads "$SLURM_CPUS_PER_TASK")
fi
echo "task $task of $tasks: keyframes $first to $last of $count on $(hostname)"
exec "$render" --keyframes "$dir" --keyframe-range "$first:$last" "${threads[@]}" "$@"
