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
# inputs have not finished says so and fails alone, and the collection
# (RUN/jobs/collect.out) names every step that has not finished with the line
# that redoes it.  Submitting again redoes only those; the programs' threads
# follow --cpus-per-task.  The options apply to every stage; for stages
# that need other limits, submit the arrays by hand from the lines below.
set -euo pipefail

run=${1:?usage: diatom_slurm.sh RUN [options of sbatch]}
shift
run=$(cd "$run" && pwd)
[ -f "$run/jobs/collect.txt" ] || { echo "diatom_slurm.sh: no $run/jobs/collect.txt (made by diatom -l CONTROL RUN)" >&2; exit 2; }

threads='export OMP_NUM_THREADS=${SLURM_CPUS_PER_TASK:-1}'
after=()
for stage in 1 2 3; do
  list=$run/jobs/stage$stage.txt
  [ -s "$list" ] || continue
  n=$(wc -l < "$list")
  id=$(sbatch --parsable "$@" "${after[@]}" --job-name="diatom-$stage" --array="1-$n" \
    --output="$run/jobs/stage$stage-%a.out" \
    --wrap="$threads; sed -n \"\${SLURM_ARRAY_TASK_ID}p\" '$list' | bash")
  id=${id%%;*}
  echo "diatom_slurm.sh: stage $stage, $n jobs: job array $id"
  after=(--dependency="afterany:$id")
done
id=$(sbatch --parsable "$@" "${after[@]}" --job-name=diatom-collect --output="$run/jobs/collect.out" \
  --wrap="bash '$run/jobs/collect.txt'")
echo "diatom_slurm.sh: collection: job ${id%%;*} (its output: $run/jobs/collect.out)"
