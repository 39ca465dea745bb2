#!/usr/bin/env bash
# Runs gens built from model files end to end (output files included) and
# prints one table row per run, as bench/run_experiments.sh does: Kanban with
# N = 5 (about 2.5 million states) and N = 6 (11.3 million), each also with
# -U (and the .umb's bytes per state and per transition) and with -u (the
# .umb alone), and experiment 5 of the compiled-in model
# built from models/redundant_controller_flash.toml through gen_add_model
# (the same units as Model/; compare with the experiment 5 row of
# run_experiments.sh).
#
#   bench/models.sh <build-dir>
#
# Configures <build-dir> with that model file as its extra model and builds
# the two gens it needs.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Release \
  -DGEN_MODEL_FILE="$root/models/redundant_controller_flash.toml" >/dev/null
cmake --build "$1" -j "$(nproc 2>/dev/null || echo 2)" --target gen_model_kanban gen_model_file >/dev/null
build_dir=$(cd "$1" && pwd)

source "$root/bench/timing.sh" "$build_dir" bench-models

printf '%-30s %10s %9s %9s %12s %10s %14s\n' "run" "states" "wall s" "user s" "states/s" "peak MB" "output bytes"
# run <label> <gen> <name> <arguments...>
run() {
  local label=$1 gen=$2 name=$3
  shift 3
  local dir="$work/run"
  mkdir -p "$dir"
  if ! "${timer[@]}" "$gen" -P"$dir/" -N"$name" "$@" >"$dir.out" 2>"$dir.time"; then
    echo "$label: gen failed" >&2
    tail -n 5 "$dir.out" "$dir.time" >&2
    return 1
  fi
  local states wall user rss bytes
  states=$(sed -n 's/^Generated: \([0-9]*\) states$/\1/p' "$dir.out")
  wall=$(wall_seconds "$dir.time")
  user=$(sed -n 's/.*User time (seconds): //p' "$dir.time")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir.time")
  bytes=$(cat "$dir/$name".* | wc -c)
  awk -v l="$label" -v s="$states" -v w="$wall" -v u="$user" -v r="$rss" -v b="$bytes" \
    'BEGIN { printf "%-30s %10d %9.2f %9.2f %12.0f %10.1f %14d\n", l, s, w, u, (w > 0 ? s / w : 0), r / 1024, b }'
  if [[ -f "$dir/$name.umb" ]]; then
    local umb branches
    umb=$(wc -c <"$dir/$name.umb")
    branches=$(tar -xOf "$dir/$name.umb" index.json | sed -n 's/.*"#branches": \([0-9]*\).*/\1/p')
    awk -v u="$umb" -v s="$states" -v t="$branches" \
      'BEGIN { printf "  .umb: %d bytes, %d transitions, %.1f B/state, %.1f B/transition\n", u, t, u / s, u / t }'
  fi
  rm -rf "$dir"
}

run "kanban N=5 (model file)" "$build_dir/models/kanban/gen" kanban -B4
run "kanban N=5 -U (model file)" "$build_dir/models/kanban/gen" kanban -B4 -U
run "kanban N=5 -u (model file)" "$build_dir/models/kanban/gen" kanban -B4 -u
run "kanban N=6 (model file)" "$build_dir/models/kanban/gen" kanban -B5
run "kanban N=6 -U (model file)" "$build_dir/models/kanban/gen" kanban -B5 -U
run "kanban N=6 -u (model file)" "$build_dir/models/kanban/gen" kanban -B5 -u
run "experiment 5 (model file)" "$(sed -n 1p "$build_dir/model_file.txt")" redundant_controller_flash -B5
