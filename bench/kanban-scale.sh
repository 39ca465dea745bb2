#!/usr/bin/env bash
# The answer at scale, as a user gets it: Kanban N = 6 (11,261,376 states)
# and N = 7 (41,644,800 states, 450,455,040 transitions). For each N: gen -U
# (the .umb solve reads, with the usual files), the steady-state throughput
# (the default method, then SOR), and waiting_in_cell_4 at t = 10 alone. The
# time point comes from a copy of models/kanban.toml whose variable has that
# one time, built as the extra model of <build-dir>; the state space is the
# same.
#
# Each row: wall time, CPU time (user + system), peak resident memory, that
# peak per state, and the bytes the step wrote to disk (the files' sizes).
#
# With PRISM=<prism folder> (a PRISM build, its bin/prism), the same two
# measures on PRISM's own Kanban model (prism-examples/ctmcs/kanban/kanban.sm
# of that folder, or of the folder above it in a source checkout) with each
# of its engines (explicit, sparse, hybrid) at the same epsilon (1e-12,
# relative), Gauss-Seidel on each. PRISM's tokens_cell4 at t = 10 is another
# measure than waiting_in_cell_4, of the same cost (one transient solution).
# PRISM_SIZES="5 6" limits PRISM's rows to those N (default: every N run).
#
#   bench/kanban-scale.sh <build-dir> [N...]        (default: 6 7)
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 <build-dir> [N...]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build_arg=$1
shift
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(6 7)

mkdir -p "$build_arg"
build_dir=$(cd "$build_arg" && pwd)
model="$build_dir/kanban_t10.toml"
sed -e 's/^name = "kanban"/name = "kanban_t10"/' -e 's/"kanban\./"kanban_t10./' -e 's/^times = \[10.0, 100.0\]/times = [10.0]/' \
  "$root/models/kanban.toml" >"$model.new"
if cmp -s "$model.new" "$model"; then rm "$model.new"; else mv "$model.new" "$model"; fi
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DGEN_MODEL_FILE="$model" >/dev/null
cmake --build "$build_dir" -j "$(nproc 2>/dev/null || echo 2)" --target gen_model_file solve >/dev/null
gen=$(sed -n 1p "$build_dir/model_file.txt")

source "$root/bench/timing.sh" "$build_dir" bench-kanban-scale
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

printf '%-36s %10s %9s %9s %9s %9s %10s\n' "run" "states" "wall s" "CPU s" "peak MB" "B/state" "disk MB"
# row <label> <states, or "gen" for gen's own count> <folder whose growth is
# the disk written> <command...>
row() {
  local label=$1 states=$2 dir=$3
  shift 3
  local before after
  before=$(du -sb "$dir" | cut -f1)
  if ! "${timer[@]}" "$@" >"$work/out" 2>"$work/time"; then
    echo "$label: failed" >&2
    tail -n 5 "$work/out" "$work/time" >&2
    return 1
  fi
  after=$(du -sb "$dir" | cut -f1)
  [[ $states != gen ]] || states=$(states_of "$work/out")
  local wall user sys rss
  wall=$(wall_seconds "$work/time")
  user=$(sed -n 's/.*User time (seconds): //p' "$work/time")
  sys=$(sed -n 's/.*System time (seconds): //p' "$work/time")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
  awk -v l="$label" -v s="$states" -v w="$wall" -v u="$user" -v y="${sys:-0}" -v r="$rss" -v d="$((after - before))" \
    'BEGIN { printf "%-36s %10d %9.2f %9.2f %9.1f %9.1f %10.1f\n", l, s, w, u + y, r / 1024, r * 1024 / s, d / 1e6 }'
}

for n in "${sizes[@]}"; do
  dir="$work/kanban$n"
  mkdir -p "$dir"
  row "kanban N=$n gen -U" gen "$dir" "$gen" -P"$dir/" -Nkanban -B$((n - 1)) -U
  states=$(states_of "$work/out")
  row "kanban N=$n steady state" "$states" "$dir" "$build_dir/solve" -P"$dir/" -Nkanban -Vthroughput
  sed -n 's/^throughput  *steady_state  *-  */  throughput, method, iterations, error bound: /p' "$work/out"
  row "kanban N=$n steady state, -m sor" "$states" "$dir" "$build_dir/solve" -P"$dir/" -Nkanban -Vthroughput -m sor
  sed -n 's/^throughput  *steady_state  *-  */  throughput, method, iterations, error bound: /p' "$work/out"
  row "kanban N=$n t=10" "$states" "$dir" "$build_dir/solve" -P"$dir/" -Nkanban -Vwaiting_in_cell_4
  rm -rf "$dir"

  [[ -n "${PRISM:-}" && " ${PRISM_SIZES:-$n} " == *" $n "* ]] || continue
  # A release keeps the examples beside bin/, a source checkout one folder up.
  prism_model="$PRISM/prism-examples/ctmcs/kanban"
  [[ -d "$prism_model" ]] || prism_model="$PRISM/../prism-examples/ctmcs/kanban"
  for engine in explicit sparse hybrid; do
    row "PRISM $engine N=$n steady state" "$states" "$work" "$PRISM/bin/prism" "$prism_model/kanban.sm" \
      "$prism_model/kanban.csl" -const t="$n" -prop 5 -"$engine" -gaussseidel -epsilon 1e-12 -maxiters 100000 \
      -javamaxmem 20g || continue
    sed -n 's/^Result: /  throughput: /p' "$work/out"
    row "PRISM $engine N=$n t=10" "$states" "$work" "$PRISM/bin/prism" "$prism_model/kanban.sm" \
      -pf 'R{"tokens_cell4"}=? [ I=10 ]' -const t="$n" -"$engine" -epsilon 1e-12 -javamaxmem 20g || continue
  done
done
