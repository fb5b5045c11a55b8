#!/usr/bin/env bash
# Submits the jobs of a diatom run folder to Slurm: one job array per stage,
# each held until the whole array before it has ended, then the collection:
#
#   diatom -l CONTROL RUN
#   scripts/diatom_slurm.sh RUN [options of sbatch: --partition=..., --time=2:00:00, --cpus-per-task=4, ...]
#
# Stage 1 (the ground states) runs first, stage 2 (the channel files) after
# all of stage 1, stage 3 (the cross sections) after all of stage 2, the
# collection last.  The dependencies are afterany, not afterok: a job whose
# inputs have not finished says so and fails alone, and the collection names
# every step that has not finished with the line that redoes it.
#
# Every submission keeps its own folder RUN/jobs/slurm-N (N = 1, 2, ...):
# the stage lists as they were submitted (a queued array reads its lines
# from there, so a later diatom -l cannot shift them), one log per array
# task, stageK-I.out, which starts with its job line, and the collection's
# output, collect.out.  Submitting again (after diatom -l CONTROL RUN has
# listed only the jobs left) redoes only those and leaves the logs and the
# report of the earlier submissions as they were.  The programs' threads
# follow --cpus-per-task.  The options apply to every stage; for stages
# that need other limits, submit the arrays by hand from the lines below.
set -euo pipefail

run=${1:?usage: diatom_slurm.sh RUN [options of sbatch]}
shift
run=$(cd "$run" && pwd)
[ -f "$run/jobs/collect.txt" ] || { echo "diatom_slurm.sh: no $run/jobs/collect.txt (made by diatom -l CONTROL RUN)" >&2; exit 2; }

# This submission's folder: one past the highest of the earlier ones.
n=1
for d in "$run"/jobs/slurm-*; do
  k=${d##*/slurm-}
  case $k in '' | *[!0-9]*) continue ;; esac
  [ "$k" -lt "$n" ] || n=$((k + 1))
done
sub=$run/jobs/slurm-$n
mkdir "$sub"

threads='export OMP_NUM_THREADS=${SLURM_CPUS_PER_TASK:-1}'
# Empty until the first array is submitted; expanded as ${after[@]+...}, since
# bash before 4.4 takes an empty "${after[@]}" for an unset variable under set -u.
after=()
for stage in 1 2 3; do
  list=$run/jobs/stage$stage.txt
  [ -s "$list" ] || continue
  cp "$list" "$sub/stage$stage.txt"
  jobs=$(printf '%q' "$sub/stage$stage.txt")
  count=$(wc -l < "$list")
  id=$(sbatch --parsable "$@" ${after[@]+"${after[@]}"} --job-name="diatom-$stage" --array="1-$count" \
    --output="$sub/stage$stage-%a.out" \
    --wrap="$threads; line=\$(sed -n \"\${SLURM_ARRAY_TASK_ID}p\" $jobs); echo \"job: \$line\"; bash -c \"\$line\"")
  id=${id%%;*}
  echo "diatom_slurm.sh: stage $stage, $count jobs: job array $id (logs: $sub/stage$stage-*.out)"
  after=(--dependency="afterany:$id")
done
id=$(sbatch --parsable "$@" ${after[@]+"${after[@]}"} --job-name=diatom-collect --output="$sub/collect.out" \
  --wrap="bash $(printf '%q' "$run/jobs/collect.txt")")
echo "diatom_slurm.sh: collection: job ${id%%;*} (its output: $sub/collect.out)"
