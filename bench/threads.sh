#!/usr/bin/env bash
# Exploration threads on an idle and on a busy machine: experiment 5 of the
# compiled-in model and Kanban with N = 5, each with 1, 2 and the default
# number of expanding threads (GEN_THREADS unset: the CPUs gen may run on),
# first with the machine as it is ("idle"), then with one core kept busy by a
# plain loop at normal priority that this script starts and stops itself
# ("busy"), as another job on a shared machine would, and last pinned to
# one CPU with taskset ("pinned", where the default is one thread). Runs alternate, run
# by run, between every load and thread count, so that a change of the
# machine's pace falls on each alike; one row per run with the median of
# RUNS runs (3 by default) of wall and user time and of the context
# switches (voluntary + involuntary).
#
#   bench/threads.sh <build-dir> <models-build-dir>
#
# <build-dir> holds gen (the compiled-in model); <models-build-dir> is a build
# configured by bench/models.sh, with the Kanban gen in it.
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 <build-dir> <models-build-dir>" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
models_dir=$(cd "$2" && pwd)
runs=${RUNS:-3}
source "$(dirname "$0")/timing.sh" "$build_dir" bench-threads

busy_pid=
stop_busy() {
  if [[ -n "$busy_pid" ]]; then
    kill "$busy_pid" 2>/dev/null || true
    wait "$busy_pid" 2>/dev/null || true
    busy_pid=
  fi
}
trap 'stop_busy; rm -rf "$work"' EXIT

# label|gen|name|arguments
cases=("experiment 5|$build_dir/gen|redundant_controller_flash|-B5"
       "kanban N=5|$models_dir/models/kanban/gen|kanban|-B4")
loads=(idle busy pinned)
last_cpu=$(($(nproc) - 1))
threads=(1 2 default)

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); median of $runs runs"
printf '%-14s %-6s %-8s %10s %8s %8s %10s\n' "run" "load" "threads" "states" "wall s" "user s" "switches"
for c in "${cases[@]}"; do
  IFS='|' read -r label gen name args <<<"$c"
  declare -A walls=() users=() switches=() states=()
  for ((r = 1; r <= runs; r++)); do
    for load in "${loads[@]}"; do
      if [[ $load == busy ]]; then
        bash -c 'while :; do :; done' &
        busy_pid=$!
      fi
      for t in "${threads[@]}"; do
        key="$load $t"
        dir="$work/run"
        rm -rf "$dir"
        mkdir -p "$dir"
        command=("${timer[@]}")
        [[ $load == pinned ]] && command+=(taskset -c "$last_cpu")
        if [[ $t == default ]]; then
          env -u GEN_THREADS "${command[@]}" "$gen" -P"$dir/" -N"$name" $args >"$dir.out" 2>"$dir.time"
        else
          GEN_THREADS=$t "${command[@]}" "$gen" -P"$dir/" -N"$name" $args >"$dir.out" 2>"$dir.time"
        fi
        states[$key]=$(states_of "$dir.out")
        walls[$key]+="$(wall_seconds "$dir.time") "
        users[$key]+="$(user_seconds "$dir.time") "
        switches[$key]+="$(context_switches "$dir.time") "
        rm -rf "$dir"
      done
      stop_busy
    done
  done
  for load in "${loads[@]}"; do
    for t in "${threads[@]}"; do
      key="$load $t"
      printf '%-14s %-6s %-8s %10d %8.2f %8.2f %10d\n' "$label" "$load" "$t" "${states[$key]}" \
        "$(echo "${walls[$key]}" | median)" "$(echo "${users[$key]}" | median)" "$(echo "${switches[$key]}" | median)"
    done
  done
  unset walls users switches states
done
