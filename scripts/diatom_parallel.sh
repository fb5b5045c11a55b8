#!/usr/bin/env bash
# Runs the jobs of a diatom run folder with GNU parallel, stage by stage,
# then collects the results:
#
#   diatom -l CONTROL RUN
#   scripts/diatom_parallel.sh RUN [options of parallel: -j 8, -S node1,node2, ...]
#
# A stage starts when every job of the one before has ended: stage 1 the
# ground states, stage 2 the channel files (they read the ground-state
# files), stage 3 the cross sections (they read the channel files).  With
# -S the machines must see RUN and the programs under the same paths.  A job
# whose inputs have not finished says so and fails alone; the collection
# names every step that has not finished with the line that redoes it.  Run
# the script again to redo those: finished steps are kept as they are.
set -uo pipefail

run=${1:?usage: diatom_parallel.sh RUN [options of parallel]}
shift
command -v parallel >/dev/null || { echo "diatom_parallel.sh: GNU parallel is not installed" >&2; exit 2; }
[ -f "$run/jobs/collect.txt" ] || { echo "diatom_parallel.sh: no $run/jobs/collect.txt (made by diatom -l CONTROL RUN)" >&2; exit 2; }

for stage in 1 2 3; do
  list=$run/jobs/stage$stage.txt
  [ -s "$list" ] || continue
  echo "diatom_parallel.sh: stage $stage, $(wc -l < "$list") jobs"
  parallel --halt never "$@" < "$list" || echo "diatom_parallel.sh: stage $stage: $? jobs failed"
done
bash "$run/jobs/collect.txt"
