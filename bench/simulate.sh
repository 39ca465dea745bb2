#!/usr/bin/env bash
# Times `simulate`: Kanban N = 3 (waiting_in_cell_4 at t = 10 and 100, so
# every path runs to t = 100; and at t = 10 alone, -t10, where the paths stop
# at t = 10), experiment 0 of the compiled-in model
# (reliability at 30, 180 and 365 days) and the M/D/1/K queue with K = 5 in
# the long run (100,000 events a replication after 1,000 dropped), each with
# a fixed number of replications (-r so small that only the budget stops
# it) on 1, 2 and the default number of threads (GEN_THREADS unset: the CPUs
# simulate may run on). Each row: replications, events, wall and user time,
# events per second per core (events over user time), replications per
# second (over wall time), and the speed-up over one thread. Runs alternate,
# run by run, between the thread counts; medians of RUNS runs (3).
#
#   bench/simulate.sh <build-dir> <models-build-dir>
#
# <build-dir> holds the compiled-in model's simulate; <models-build-dir> is a
# build configured by bench/models.sh, in which this script builds the
# Kanban and M/D/1/K simulators.
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 <build-dir> <models-build-dir>" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$2" -DCMAKE_BUILD_TYPE=Release -DGEN_MODEL_FILE="$root/models/md1k.toml" >/dev/null
cmake --build "$2" -j "$(nproc 2>/dev/null || echo 2)" --target sim_model_kanban simulate_model_file >/dev/null
cmake --build "$1" -j "$(nproc 2>/dev/null || echo 2)" --target simulate >/dev/null
build_dir=$(cd "$1" && pwd)
models_dir=$(cd "$2" && pwd)
runs=${RUNS:-3}
source "$root/bench/timing.sh" "$build_dir" bench-simulate

# label|simulate|arguments
cases=("kanban N=3 t<=100|$models_dir/models/kanban/simulate|-B2 -Vwaiting_in_cell_4 -R20000"
       "kanban N=3 t=10|$models_dir/models/kanban/simulate|-B2 -Vwaiting_in_cell_4 -t10 -R20000"
       "experiment 0|$build_dir/simulate|-B0 -R5000"
       "md1k K=5 steady|$models_dir/models/md1k/simulate|-B4 -R200 -W1000 -L100000")
threads=(1 2 default)

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); median of $runs runs"
printf '%-20s %-8s %8s %11s %8s %8s %14s %10s %8s\n' "run" "threads" "reps" "events" "wall s" "user s" \
  "events/s/core" "reps/s" "speed-up"
for c in "${cases[@]}"; do
  IFS='|' read -r label sim args <<<"$c"
  declare -A walls=() users=()
  for ((r = 0; r < runs; r++)); do
    for t in "${threads[@]}"; do
      dir="$work/run"
      mkdir -p "$dir"
      # shellcheck disable=SC2086
      if [[ "$t" == default ]]; then
        env -u GEN_THREADS "${timer[@]}" "$sim" -P"$dir/" -Nbench $args -r1e-12 -k500 >"$dir.out" 2>"$dir.time"
      else
        GEN_THREADS=$t "${timer[@]}" "$sim" -P"$dir/" -Nbench $args -r1e-12 -k500 >"$dir.out" 2>"$dir.time"
      fi
      walls[$t]+="$(wall_seconds "$dir.time") "
      users[$t]+="$(user_seconds "$dir.time") "
      reps=$(sed -n 's/^Simulated \([0-9]*\) replications (\([0-9]*\) events).*/\1/p' "$dir.out")
      events=$(sed -n 's/^Simulated \([0-9]*\) replications (\([0-9]*\) events).*/\2/p' "$dir.out")
    done
  done
  one=
  for t in "${threads[@]}"; do
    wall=$(median <<<"${walls[$t]}")
    user=$(median <<<"${users[$t]}")
    [[ -n "$one" ]] || one=$wall
    awk -v l="$label" -v t="$t" -v r="$reps" -v e="$events" -v w="$wall" -v u="$user" -v o="$one" \
      'BEGIN { printf "%-20s %-8s %8d %11d %8.2f %8.2f %14.0f %10.0f %8.2f\n", l, t, r, e, w, u, e / u, r / w, o / w }'
  done
  unset walls users
done
