#!/usr/bin/env bash
# Times `solve` beside the Kanban rows (bench/kanban-scale.sh): the
# workstation cluster with N = 512 (9,465,876 states), its long-run
# probability of premium service; then two queues in tandem with a fixed
# service time at the first (models/tandem_det.toml, C = 999: 1,000,000
# states), the exact steady state by the embedded Markov regenerative chain.
# Each row gives the solve's wall and user time, its iterations, peak
# resident memory and bytes per state.
#
#   bench/solve.sh <build-dir>
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$1" -j "$(nproc 2>/dev/null || echo 2)" --target gen_model_cluster gen_model_tandem_det solve >/dev/null
build_dir=$(cd "$1" && pwd)

source "$root/bench/timing.sh" "$build_dir" bench-solve

printf '%-34s %10s %9s %9s %11s %10s %9s\n' "run" "states" "wall s" "user s" "iterations" "peak MB" "B/state"
# row <label> <solve arguments...>, on the run in $dir named $name
row() {
  local label=$1
  shift
  if ! "${timer[@]}" "$build_dir/solve" -P"$dir/" -N"$name" "$@" >"$work/solve.out" 2>"$work/solve.time"; then
    echo "$label: solve failed" >&2
    tail -n 5 "$work/solve.time" >&2
    return 1
  fi
  local wall user rss iterations
  wall=$(wall_seconds "$work/solve.time")
  user=$(sed -n 's/.*User time (seconds): //p' "$work/solve.time")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/solve.time")
  iterations=$(sed -n 2p "$dir/$name.results.csv" | cut -d, -f7)
  awk -v l="$label" -v s="$states" -v w="$wall" -v u="$user" -v i="$iterations" -v r="$rss" \
    'BEGIN { printf "%-34s %10d %9.2f %9.2f %11d %10.1f %9.1f\n", l, s, w, u, i, r / 1024, r * 1024 / s }'
}

dir="$work/cluster"
name=cluster
mkdir -p "$dir"
"$build_dir/models/cluster/gen" -P"$dir/" -Ncluster -B9 -U >"$work/gen.out"
states=$(sed -n 's/^Generated: \([0-9]*\) states$/\1/p' "$work/gen.out")
row "cluster N=512 steady state (gs)" -Vpremium_steady

dir="$work/tandem_det"
name=tandem_det
mkdir -p "$dir"
rm -rf "$work/cluster"
"$build_dir/models/tandem_det/gen" -P"$dir/" -Ntandem_det -B2 -U >"$work/gen.out"
states=$(sed -n 's/^Generated: \([0-9]*\) states$/\1/p' "$work/gen.out")
row "tandem_det C=999 steady (mrgp)" -Vlost
