#!/usr/bin/env bash
# Runs the large experiments of the compiled-in model end to end (output files
# included) and prints one table row per run: states, wall and user time,
# states per second, peak resident memory and bytes written.
#
#   bench/run_experiments.sh <build-dir>
#
# Experiment 5 with four flash devices (-O s:num_devices:4) is the stress
# case: 7,864,412 states, well below the hash store's limit of 12,800,000.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
gen="$build_dir/gen"
if [[ ! -x "$gen" ]]; then
  echo "$0: $gen not found; build the gen target first" >&2
  exit 1
fi

# Peak memory and times come from GNU time when it is installed, otherwise
# from a small getrusage wrapper compiled on first use.
if [[ -x /usr/bin/time ]] && /usr/bin/time -v true >/dev/null 2>&1; then
  timer=(/usr/bin/time -v)
else
  wrapper="$build_dir/rusage_wrapper"
  if [[ ! -x "$wrapper" ]]; then
    "${CXX:-c++}" -O2 -std=c++20 -o "$wrapper" "$(dirname "$0")/rusage_wrapper.cpp"
  fi
  timer=("$wrapper")
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/gen-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Wall clock from GNU time's h:mm:ss or m:ss form, or the wrapper's seconds.
wall_seconds() {
  local line
  line=$(grep -E 'Elapsed \(wall clock\)' "$1" | sed 's/.*: //')
  awk -v t="$line" 'BEGIN { n = split(t, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f", s }'
}

printf '%-22s %10s %9s %9s %12s %10s %14s\n' "run" "states" "wall s" "user s" "states/s" "peak MB" "output bytes"
run() {
  local label=$1
  shift
  local dir="$work/$label"
  mkdir -p "$dir"
  if ! "${timer[@]}" "$gen" -P"$dir/" -Nredundant_controller_flash "$@" >"$dir.out" 2>"$dir.time"; then
    echo "$label: gen failed" >&2
    tail -n 5 "$dir.out" "$dir.time" >&2
    return 1
  fi
  local states wall user rss bytes
  states=$(sed -n 's/^Generated: \([0-9]*\) states$/\1/p' "$dir.out")
  wall=$(wall_seconds "$dir.time")
  user=$(sed -n 's/.*User time (seconds): //p' "$dir.time")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir.time")
  bytes=$(cat "$dir"/redundant_controller_flash.* | wc -c)
  awk -v l="$label" -v s="$states" -v w="$wall" -v u="$user" -v r="$rss" -v b="$bytes" \
    'BEGIN { printf "%-22s %10d %9.2f %9.2f %12.0f %10.1f %14d\n", l, s, w, u, (w > 0 ? s / w : 0), r / 1024, b }'
  rm -rf "$dir"
}

run "experiment 3" -B3
run "experiment 4" -B4
run "experiment 5" -B5
run "experiment 5, 4 devices" -B5 -O s:num_devices:4
